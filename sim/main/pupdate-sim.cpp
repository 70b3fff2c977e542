// The virtual machine: the control board's twin on a pseudo-terminal, for
// trying updates with no machine attached.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "VirtualControlBoard.h"

namespace {
int signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 's';
  [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &byte, 1);
}

void PrintUsage() {
  std::fprintf(stderr,
               "usage: pupdate-sim [--port NAME] [--chip hd|f4] [--port-map-file FILE]\n"
               "  --port NAME           port name the program uses (default COM3)\n"
               "  --chip hd|f4          the board's STM32 (default hd)\n"
               "  --port-map-file FILE  also write the PUPDATE_PORT_MAP value to FILE\n");
}
}  // namespace

int main(int argc, char** argv) {
  std::string portName = "COM3";
  std::string chip = "hd";
  std::string portMapFile;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if ((option == "--port" || option == "--chip" || option == "--port-map-file") && i + 1 < argc) {
      const std::string value = argv[++i];
      if (option == "--port") portName = value;
      if (option == "--chip") chip = value;
      if (option == "--port-map-file") portMapFile = value;
    } else {
      PrintUsage();
      return 2;
    }
  }
  if (chip != "hd" && chip != "f4") {
    PrintUsage();
    return 2;
  }

  if (::pipe(signalPipe) != 0) {
    std::perror("pupdate-sim: pipe");
    return 1;
  }
  struct sigaction action {};
  action.sa_handler = OnSignal;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);

  VirtualControlBoard board;
  board.SetLogger([](const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  });
  board.Start();

  const std::string portMap = portName + "=" + board.PortPath();
  if (!portMapFile.empty()) {
    std::ofstream file(portMapFile, std::ios::trunc);
    file << portMap << "\n";
    if (!file.flush()) {
      std::fprintf(stderr, "pupdate-sim: cannot write %s\n", portMapFile.c_str());
      return 1;
    }
  }
  std::printf("control board (%s chip) on %s\n", chip == "f4" ? "F4" : "high-density",
              board.PortPath().c_str());
  std::printf("PUPDATE_PORT_MAP=%s\n", portMap.c_str());
  std::printf("Press Ctrl+C to stop.\n");
  std::fflush(stdout);

  pollfd wake{signalPipe[0], POLLIN, 0};
  while (::poll(&wake, 1, -1) < 0) {
  }
  std::printf("stopping\n");
  return 0;
}
