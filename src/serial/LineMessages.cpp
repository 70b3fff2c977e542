#include "serial/LineMessages.h"

namespace pellux {

std::string NoAnswerMessage(const std::string& device, const std::string& port,
                            const std::string& awaited, int seconds) {
  return "No answer from " + device + " on " + port + " within " + std::to_string(seconds) +
         " s: waited for " + awaited +
         ". Check the cable and the device's power, then run the job again.\r\n";
}

std::string LineHungUpMessage(const std::string& port) {
  return "The line to " + port +
         " hung up: the adapter was unplugged or the device closed the line. Reconnect it and "
         "run the job again.\r\n";
}

}  // namespace pellux
