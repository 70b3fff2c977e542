// pupdate-server: the reference update server.
//   pupdate-server [--host 127.0.0.1] [--port 8080] [--root DIR]
//   pupdate-server --publish <tree> <out>
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "Publish.h"
#include "UpdateServer.h"

namespace {
int Usage() {
  std::fprintf(stderr,
               "usage: pupdate-server [--host ADDRESS] [--port PORT] [--root DIR]\n"
               "       pupdate-server --publish TREE OUT\n");
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  std::string host = "127.0.0.1";
  int port = 8080;
  std::string root = ".";
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--publish") {
      if (argc != i + 3 || i != 1) return Usage();
      std::string error;
      if (!PublishTree(argv[2], argv[3], error)) {
        std::fprintf(stderr, "pupdate-server: %s\n", error.c_str());
        return 1;
      }
      std::printf("Published %s to %s\n", argv[2], argv[3]);
      return 0;
    }
    if (i + 1 >= argc) return Usage();
    const std::string value = argv[++i];
    if (option == "--host") {
      host = value;
    } else if (option == "--port") {
      char* end = nullptr;
      const long number = std::strtol(value.c_str(), &end, 10);
      if (*end != '\0' || number < 0 || number > 65535) return Usage();
      port = static_cast<int>(number);
    } else if (option == "--root") {
      root = value;
    } else {
      return Usage();
    }
  }

  std::error_code rootError;
  if (!std::filesystem::is_directory(root, rootError)) {
    std::fprintf(stderr,
                 "pupdate-server: the root %s is not a folder; give the folder of the tree with "
                 "--root DIR\n",
                 root.c_str());
    return 1;
  }

  // The signals are taken by sigwait below, never by a handler; block them
  // before the server's threads start so they all inherit the mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  UpdateServer server(root, [](const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  });
  if (!server.Start(host, port)) {
    const int reason = errno;
    std::fprintf(stderr, "pupdate-server: cannot listen on %s:%d: %s\n", host.c_str(), port,
                 reason == EADDRINUSE ? "address already in use (another server runs there; "
                                        "stop it or choose another --port)"
                                      : "the address cannot be used (check --host and --port)");
    return 1;
  }
  std::printf("Serving %s on http://%s:%d/\n", root.c_str(), host.c_str(), server.Port());
  std::fflush(stdout);

  int signal = 0;
  sigwait(&stopSignals, &signal);
  server.Stop();
  std::printf("Stopped.\n");
  return 0;
}
