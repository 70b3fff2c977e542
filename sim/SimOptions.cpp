#include "SimOptions.h"

#include <cstdlib>

namespace {
bool ParsePort(const std::string& text, int& port) {
  char* end = nullptr;
  const long number = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || number < 0 || number > 65535) return false;
  port = static_cast<int>(number);
  return true;
}
}  // namespace

const char* SimUsage() {
  return "Usage: pupdate-sim [options]\n"
         "  --board-port NAME     port name of the control board (default COM3; also --port)\n"
         "  --servo-port NAME     port name of the servo drive (default COM5)\n"
         "  --step-port NAME      port name of the step drive (default COM6)\n"
         "  --chip hd|f4          the board's STM32: high-density (default) or F4\n"
         "  --dialect 79|75       the bootloader's acknowledge byte (default 79)\n"
         "  --model nr2|r1ps      the board's extend settings: New R2 Bender (nine punch\n"
         "                          positions and the press speed, default) or R1 Bender\n"
         "                          with Puncher Selector (six punch positions)\n"
         "  --pace                send at the real line rate (a demo takes real time)\n"
         "  --fault KIND          silence: the board never announces upgrade mode and\n"
         "                          nothing answers\n"
         "                        nak: the bootloader refuses writes, the board refuses\n"
         "                          FPGA block 2 once\n"
         "                        noise: every byte the devices send arrives garbled\n"
         "                        hangup: the line goes dead in the middle of a transfer\n"
         "                        verify: a flash bit is lost before the read-back\n"
         "  --port-map-file FILE  also write the PUPDATE_PORT_MAP value to FILE\n"
         "  --server              also start the update server on 127.0.0.1 over sample\n"
         "                          content, signed with a key made for this run, and\n"
         "                          print its PUPDATE_SERVER_URL and PUPDATE_TRUSTED_KEYS\n"
         "  --server-port N       the server's port (default: a free one)\n"
         "  --content DIR         write the sample content to DIR and keep it\n"
         "                          (default: a temporary folder)\n"
         "  -h, --help            print this help and exit\n"
         "  --version             print the version and exit\n"
         "Ctrl+C or SIGTERM stops; SIGUSR1 prints whether the board's flash matches\n"
         "the server's default firmware image (also printed when the program starts\n"
         "and on stop), whether its FPGA store holds the sample FPGA image, the\n"
         "board's punch positions and press speed, and the servo drive's parameter\n"
         "table; SIGUSR2 sets the boot switch and cycles the\n"
         "board's power; SIGPWR cycles its power with the boot switch in its normal\n"
         "position.\n"
         "Lines typed on the terminal: p (power cycle), b (boot switch and power\n"
         "cycle), f (the SIGUSR1 report), q (stop).\n";
}

bool ParseSimOptions(int argc, const char* const* argv, SimOptions& options, std::string& error) {
  error.clear();
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      options.help = true;
      continue;
    }
    if (option == "--version") {
      options.version = true;
      continue;
    }
    if (option == "--pace") {
      options.machine.pacing = true;
      continue;
    }
    if (option == "--server") {
      options.server = true;
      continue;
    }
    const bool takesValue = option == "--port" || option == "--board-port" ||
                            option == "--servo-port" || option == "--step-port" ||
                            option == "--chip" || option == "--dialect" || option == "--model" ||
                            option == "--fault" || option == "--port-map-file" ||
                            option == "--server-port" || option == "--content";
    if (!takesValue) {
      error = "unknown option " + option;
      return false;
    }
    if (i + 1 >= argc) {
      error = option + " needs a value";
      return false;
    }
    const std::string value = argv[++i];
    if (option == "--port" || option == "--board-port") {
      options.machine.boardPort = value;
    } else if (option == "--servo-port") {
      options.machine.servoPort = value;
    } else if (option == "--step-port") {
      options.machine.stepPort = value;
    } else if (option == "--chip") {
      if (value != "hd" && value != "f4") {
        error = "--chip takes hd or f4";
        return false;
      }
      options.machine.f4Chip = value == "f4";
    } else if (option == "--dialect") {
      if (value != "79" && value != "75") {
        error = "--dialect takes 79 or 75";
        return false;
      }
      options.machine.ackByte = value == "79" ? 0x79 : 0x75;
    } else if (option == "--model") {
      if (value != "nr2" && value != "r1ps") {
        error = "--model takes nr2 or r1ps";
        return false;
      }
      options.machine.r1psBoard = value == "r1ps";
    } else if (option == "--fault") {
      const std::optional<MachineFault> fault = MachineFaultFromName(value);
      if (!fault) {
        error = "--fault takes silence, nak, noise, hangup or verify";
        return false;
      }
      options.machine.fault = *fault;
      options.faultName = value;
    } else if (option == "--port-map-file") {
      options.portMapFile = value;
    } else if (option == "--server-port") {
      if (!ParsePort(value, options.serverPort)) {
        error = "--server-port takes a number from 0 to 65535";
        return false;
      }
    } else if (option == "--content") {
      options.contentDir = value;
    }
  }
  if (options.machine.boardPort.empty() || options.machine.servoPort.empty() ||
      options.machine.stepPort.empty()) {
    error = "port names must not be empty";
    return false;
  }
  return true;
}
