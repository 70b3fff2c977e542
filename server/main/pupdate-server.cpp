// pupdate-server: the reference update server.
//   pupdate-server [--host 127.0.0.1] [--port 8080] [--root DIR]
//   pupdate-server --publish <tree> <out>
//   pupdate-server --help | --version
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "ProgramVersion.h"
#include "Publish.h"
#include "UpdateServer.h"

namespace {
constexpr char kSynopsis[] =
    "Usage: pupdate-server [--host ADDRESS] [--port PORT] [--root DIR]\n"
    "       pupdate-server --publish TREE OUT\n"
    "       pupdate-server --help | --version\n";

constexpr char kDetails[] =
    "\n"
    "The reference update server of PelluxUpdate: serves the folder tree DIR\n"
    "(machlist.txt, <KEY>/<MODE>/<file>, ETC/<file>) over HTTP and answers\n"
    "filelist.php, filelistx.php and filemd5.php. One line per request; Ctrl+C\n"
    "or SIGTERM stops it.\n"
    "\n"
    "  --host ADDRESS    address to listen on (default 127.0.0.1)\n"
    "  --port PORT       port to listen on, 0 for a free one (default 8080)\n"
    "  --root DIR        the tree to serve (default: the current directory)\n"
    "  --publish TREE OUT\n"
    "                    write TREE as static files for nginx into OUT and exit\n"
    "  -h, --help        print this help and exit\n"
    "  --version         print the version and exit\n"
    "\n"
    "Exit status: 0 stopped normally, 1 could not serve or publish, 2 wrong\n"
    "command line.\n";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "pupdate-server: %s; see pupdate-server --help\n%s", problem.c_str(),
               kSynopsis);
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  std::string host = "127.0.0.1";
  int port = 8080;
  std::string root = ".";
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      std::printf("%s%s", kSynopsis, kDetails);
      return 0;
    }
    if (option == "--version") {
      std::printf("%s\n", VersionLine("pupdate-server").c_str());
      return 0;
    }
    if (option == "--publish") {
      if (argc != i + 3 || i != 1) return Usage("--publish takes TREE and OUT, and nothing else");
      std::string error;
      if (!PublishTree(argv[2], argv[3], error)) {
        std::fprintf(stderr, "pupdate-server: %s\n", error.c_str());
        return 1;
      }
      std::printf("Published %s to %s\n", argv[2], argv[3]);
      return 0;
    }
    const bool takesValue = option == "--host" || option == "--port" || option == "--root";
    if (!takesValue) return Usage("unknown option '" + option + "'");
    if (i + 1 >= argc) return Usage(option + " needs a value");
    const std::string value = argv[++i];
    if (option == "--host") {
      host = value;
    } else if (option == "--port") {
      char* end = nullptr;
      const long number = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || number < 0 || number > 65535) {
        return Usage("--port takes a number from 0 to 65535");
      }
      port = static_cast<int>(number);
    } else if (option == "--root") {
      root = value;
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
