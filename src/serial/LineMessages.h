#pragma once

#include <string>

namespace pellux {

// The lines a job prints when a device stops answering in the middle of an
// exchange or its line goes away. `port` is a port description such as
// "COM3 (/dev/ttyUSB0)".

// How long a device may stay silent once an exchange has started.
inline constexpr int kAnswerTimeoutSeconds = 10;

// "No answer from the servo drive on COM5 (/dev/ttyUSB1) within 10 s: waited
// for ... Check the cable and the device's power, then run the job again."
std::string NoAnswerMessage(const std::string& device, const std::string& port,
                            const std::string& awaited, int seconds = kAnswerTimeoutSeconds);

// "The line to COM3 (/dev/ttyUSB0) hung up: ..."
std::string LineHungUpMessage(const std::string& port);

}  // namespace pellux
