// pupdate-server: the reference update server.
//   pupdate-server [--host 127.0.0.1] [--port 8080] [--root DIR] [--sign-key KEY.pem]
//   pupdate-server --publish <tree> <out> [--sign-key KEY.pem]
//   pupdate-server --make-key NAME
//   pupdate-server --help | --version
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "ProgramVersion.h"
#include "Publish.h"
#include "PublisherKey.h"
#include "UpdateServer.h"

namespace {
constexpr char kSynopsis[] =
    "Usage: pupdate-server [--host ADDRESS] [--port PORT] [--root DIR] [--sign-key KEY.pem]\n"
    "       pupdate-server --publish TREE OUT [--sign-key KEY.pem]\n"
    "       pupdate-server --make-key NAME\n"
    "       pupdate-server --help | --version\n";

constexpr char kDetails[] =
    "\n"
    "The reference update server of PelluxUpdate: serves the folder tree DIR\n"
    "(machlist.txt, <KEY>/<MODE>/<file>, ETC/<file>) over HTTP and answers\n"
    "filelist.php, filelistx.php and filemd5.php, and with a signing key\n"
    "filesig.php. One line per request; Ctrl+C or SIGTERM stops it.\n"
    "\n"
    "  --host ADDRESS    address to listen on (default 127.0.0.1)\n"
    "  --port PORT       port to listen on, 0 for a free one (default 8080)\n"
    "  --root DIR        the tree to serve (default: the current directory)\n"
    "  --sign-key KEY.pem\n"
    "                    sign every data file with this private key (ECDSA P-256)\n"
    "  --publish TREE OUT\n"
    "                    write TREE as static files for nginx into OUT and exit\n"
    "  --make-key NAME   write a new key pair: NAME.key (private, mode 0600) and\n"
    "                    NAME.pub.pem (public, for the trusted-keys folder)\n"
    "  -h, --help        print this help and exit\n"
    "  --version         print the version and exit\n"
    "\n"
    "Exit status: 0 stopped normally, 1 could not serve, publish or make the\n"
    "key, 2 wrong command line.\n";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "pupdate-server: %s; see pupdate-server --help\n%s", problem.c_str(),
               kSynopsis);
  return 2;
}

int Fail(const std::string& problem) {
  std::fprintf(stderr, "pupdate-server: %s\n", problem.c_str());
  return 1;
}
}  // namespace

int main(int argc, char** argv) {
  std::string host = "127.0.0.1";
  int port = 8080;
  std::string root = ".";
  std::string signKey, makeKey, publishTree, publishOut;
  bool serving = false;  // --host, --port or --root given
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
      if (i + 2 >= argc) return Usage("--publish takes TREE and OUT");
      publishTree = argv[++i];
      publishOut = argv[++i];
      continue;
    }
    const bool takesValue = option == "--host" || option == "--port" || option == "--root" ||
                            option == "--sign-key" || option == "--make-key";
    if (!takesValue) return Usage("unknown option '" + option + "'");
    if (i + 1 >= argc) return Usage(option + " needs a value");
    const std::string value = argv[++i];
    if (option == "--sign-key") {
      signKey = value;
      continue;
    }
    if (option == "--make-key") {
      makeKey = value;
      continue;
    }
    serving = true;
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

  if (!makeKey.empty()) {
    if (argc != 3) return Usage("--make-key takes NAME, and nothing else");
    std::string error;
    if (!MakeKeyPair(makeKey, error)) return Fail(error);
    const KeyPairFiles files = KeyPairFilesOf(makeKey);
    std::printf("Wrote the private key %s (keep it off the web host) and the public key %s\n",
                files.privateKey.c_str(), files.publicKey.c_str());
    return 0;
  }

  std::shared_ptr<const PublisherKey> key;
  if (!signKey.empty()) {
    std::string error;
    key = PublisherKey::Load(signKey, error);
    if (!key) return Fail(error);
  }

  if (!publishTree.empty()) {
    if (serving) return Usage("--publish takes no --host, --port or --root");
    std::string error;
    if (!PublishTree(publishTree, publishOut, key, error)) return Fail(error);
    std::printf("Published %s to %s%s\n", publishTree.c_str(), publishOut.c_str(),
                key ? ", signed" : "");
    return 0;
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

  UpdateServer server(
      root,
      [](const std::string& line) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
      },
      key);
  if (!server.Start(host, port)) {
    const int reason = errno;
    std::fprintf(stderr, "pupdate-server: cannot listen on %s:%d: %s\n", host.c_str(), port,
                 reason == EADDRINUSE ? "address already in use (another server runs there; "
                                        "stop it or choose another --port)"
                                      : "the address cannot be used (check --host and --port)");
    return 1;
  }
  if (key) std::printf("Signing every data file with %s\n", signKey.c_str());
  std::printf("Serving %s on http://%s:%d/\n", root.c_str(), host.c_str(), server.Port());
  std::fflush(stdout);

  int signal = 0;
  sigwait(&stopSignals, &signal);
  server.Stop();
  std::printf("Stopped.\n");
  return 0;
}
