// pupdate-sim: the virtual machine. The control board (running firmware,
// upgrade mode, STM32 bootloader), the servo drive and the step drive, each
// on a pseudo-terminal, optionally with the update server over sample
// content, so that a whole update runs with no machine attached.
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ProgramVersion.h"
#include "PublisherKey.h"
#include "SampleContent.h"
#include "SimOptions.h"
#include "UpdateServer.h"
#include "VirtualControlBoard.h"
#include "VirtualMachine.h"

namespace fs = std::filesystem;

namespace {
// One writer at a time; each line carries the seconds since the start.
class LogPrinter {
 public:
  void Line(const std::string& text) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::lock_guard lock(mutex_);
    std::printf("[%8.3f] %s\n", seconds, text.c_str());
    std::fflush(stdout);
  }
  void Plain(const std::string& text) {
    std::lock_guard lock(mutex_);
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
  }

 private:
  std::mutex mutex_;
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// A folder removed when the program ends (unless the user named it).
class SimFolder {
 public:
  SimFolder() = default;
  ~SimFolder() {
    std::error_code ec;
    if (temporary_ && !path_.empty()) fs::remove_all(path_, ec);
  }
  SimFolder(const SimFolder&) = delete;
  SimFolder& operator=(const SimFolder&) = delete;

  bool Make(const std::string& chosen, std::string& error) {
    if (!chosen.empty()) {
      path_ = chosen;
      return true;
    }
    std::string pattern = (fs::temp_directory_path() / "pupdate-sim-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      error = "cannot create a temporary folder";
      return false;
    }
    path_ = pattern;
    temporary_ = true;
    return true;
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
  bool temporary_ = false;
};

// A new publisher key for the sample content, in a temporary folder: the
// private key at its top, the public key alone in its "trusted" folder (what
// PUPDATE_TRUSTED_KEYS names).
std::shared_ptr<const PublisherKey> MakeSampleKey(SimFolder& keys, std::string& publicKey,
                                                  std::string& error) {
  if (!keys.Make("", error)) return nullptr;
  const std::string name = (keys.Path() / "sample-publisher").string();
  if (!MakeKeyPair(name, error)) return nullptr;
  const KeyPairFiles files = KeyPairFilesOf(name);
  const fs::path trusted = keys.Path() / "trusted" / files.publicKey.filename();
  std::error_code code;
  fs::create_directory(trusted.parent_path(), code);
  if (!code) fs::rename(files.publicKey, trusted, code);
  if (code) {
    error = "cannot write " + trusted.string() + ": " + code.message();
    return nullptr;
  }
  publicKey = trusted.string();
  return PublisherKey::Load(files.privateKey, error);
}

// Lines typed on the sim's terminal, one at a time.
class TypedLines {
 public:
  // False at the end of input (the sim then listens to signals only).
  bool ReadAvailable(std::vector<std::string>& lines) {
    char buffer[256];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) return n < 0 && (errno == EINTR || errno == EAGAIN);
    pending_.append(buffer, static_cast<size_t>(n));
    for (size_t end; (end = pending_.find('\n')) != std::string::npos;) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
      while (!line.empty() && line.front() == ' ') line.erase(0, 1);
      lines.push_back(line);
    }
    return true;
  }

 private:
  std::string pending_;
};

// Written to a temporary name and renamed, so a reader never sees half a file.
bool WriteWhole(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".part";
  {
    std::ofstream file(temporary, std::ios::trunc);
    file << text;
    if (!file.flush()) return false;
  }
  std::error_code ec;
  fs::rename(temporary, path, ec);
  return !ec;
}
}  // namespace

int main(int argc, char** argv) {
  SimOptions options;
  std::string error;
  if (!ParseSimOptions(argc, argv, options, error)) {
    if (!error.empty()) std::fprintf(stderr, "pupdate-sim: %s\n", error.c_str());
    std::fputs(SimUsage(), stderr);
    return 2;
  }
  if (options.help) {
    std::fputs(SimUsage(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("%s\n", VersionLine("pupdate-sim").c_str());
    return 0;
  }

  // The signals are taken by sigwait below, never by a handler; block them
  // before any device or server thread starts so they all inherit the mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGUSR1);
  sigaddset(&signals, SIGUSR2);
  sigaddset(&signals, SIGPWR);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  LogPrinter printer;
  SimFolder folder;
  SampleContent content;
  if (!folder.Make(options.contentDir, error) ||
      !WriteSampleContent(folder.Path().string(), content, error)) {
    std::fprintf(stderr, "pupdate-sim: sample content: %s\n", error.c_str());
    return 1;
  }
  const std::string firmwareName =
      "NR2/FIRMWARE/" + (options.machine.f4Chip ? content.f4FirmwareFile : content.firmwareFile);

  const std::string fpgaName = "NR2/FPGA/" + content.fpgaFile;

  VirtualMachine* machinePointer = nullptr;
  options.machine.stepRecordFile = (folder.Path() / "NR2" / "STEP" / "NR2_StepDrive.rec").string();
  options.machine.onProgramStarted = [&] {
    // The device threads only start after the machine exists.
    printer.Line(
        machinePointer->CompareFlash(firmwareName, content.firmwareAddress, content.firmware));
  };
  VirtualMachine machine(options.machine,
                         [&printer](const std::string& line) { printer.Line(line); });
  machinePointer = &machine;

  std::unique_ptr<UpdateServer> server;
  SimFolder keys;
  std::string trustedPublicKey;
  if (options.server) {
    const auto key = MakeSampleKey(keys, trustedPublicKey, error);
    if (!key) {
      std::fprintf(stderr, "pupdate-sim: signing key: %s\n", error.c_str());
      return 1;
    }
    server = std::make_unique<UpdateServer>(
        folder.Path(),
        [&printer](const std::string& line) { printer.Line("update server: " + line); }, key);
    if (!server->Start("127.0.0.1", options.serverPort)) {
      const int reason = errno;
      std::fprintf(stderr, "pupdate-sim: cannot listen on 127.0.0.1:%d: %s\n", options.serverPort,
                   reason == EADDRINUSE ? "address already in use (choose another --server-port "
                                          "or leave it out for a free one)"
                                        : "the port cannot be used");
      return 1;
    }
  }
  machine.Start();

  for (const VirtualMachine::Line& line : machine.Lines()) {
    std::string description = line.device;
    if (line.device == "control board") {
      char dialect[8];
      std::snprintf(dialect, sizeof dialect, "0x%02X", options.machine.ackByte);
      description += std::string(" (") + (options.machine.f4Chip ? "F4" : "high-density") +
                     " STM32, bootloader " + dialect +
                     (options.machine.r1psBoard ? ", R1PS extend settings" : "") + ")";
    }
    printer.Plain(line.port + ": " + description + " on " + line.path);
  }
  if (options.machine.fault != MachineFault::None) {
    printer.Plain("fault: " + options.faultName);
  }
  if (options.machine.pacing) printer.Plain("pacing: bytes leave at the real line rate");
  printer.Plain("sample content in " + folder.Path().string());
  const std::string portMap = machine.PortMap();
  if (server) {
    printer.Plain("update server on 127.0.0.1:" + std::to_string(server->Port()));
    printer.Plain("PUPDATE_SERVER_URL=http://127.0.0.1:" + std::to_string(server->Port()) + "/");
    printer.Plain("sample content signed; the publisher's public key is " + trustedPublicKey);
    printer.Plain("PUPDATE_TRUSTED_KEYS=" + fs::path(trustedPublicKey).parent_path().string());
  }
  printer.Plain("PUPDATE_PORT_MAP=" + portMap);
  if (!options.portMapFile.empty() && !WriteWhole(options.portMapFile, portMap + "\n")) {
    std::fprintf(stderr, "pupdate-sim: cannot write %s\n", options.portMapFile.c_str());
    return 1;
  }
  const std::string pid = std::to_string(::getpid());
  printer.Plain("Send SIGUSR1 (kill -USR1 " + pid +
                ") for a report of the flash, the FPGA store, the board's extend settings and "
                "the servo drive's parameters.");
  printer.Plain("Send SIGUSR2 (kill -USR2 " + pid +
                ") to set the board's boot switch and cycle its power (Initialize and F4 jobs).");
  printer.Plain("Send SIGPWR (kill -PWR " + pid +
                ") to cycle the board's power with the boot switch in its normal position.");
  printer.Plain(
      "Or type a line: p (power cycle), b (boot switch and power cycle), "
      "f (report), q (stop).");
  printer.Plain("Press Ctrl+C to stop.");

  const int signalFd = ::signalfd(-1, &signals, SFD_CLOEXEC);
  if (signalFd < 0) {
    std::fprintf(stderr, "pupdate-sim: cannot wait for signals\n");
    return 1;
  }
  TypedLines typed;
  bool readTerminal = true;
  bool running = true;
  const auto command = [&](const std::string& what) {
    if (what == "f" || what == "flash") {
      printer.Line(machine.CompareFlash(firmwareName, content.firmwareAddress, content.firmware));
      printer.Line(machine.CompareFpga(fpgaName, content.fpgaImage));
      printer.Line(machine.ExtendSettings());
      printer.Line(machine.ServoParameters());
    } else if (what == "b" || what == "boot") {
      machine.Board().EnterBootloaderByBootSwitch();
    } else if (what == "p" || what == "power") {
      machine.Board().PowerCycle();
    } else if (what == "q" || what == "quit") {
      running = false;
    } else if (!what.empty()) {
      printer.Plain("unknown command \"" + what +
                    "\": type p (power cycle), b (boot switch and power cycle), f "
                    "(report) or q (stop)");
    }
  };
  // Started in the background of a shell, the sim must not be stopped for
  // reading the terminal: it then listens to signals only.
  ::signal(SIGTTIN, SIG_IGN);
  const auto inForeground = [] {
    return ::isatty(STDIN_FILENO) == 0 || ::tcgetpgrp(STDIN_FILENO) == ::getpgrp();
  };
  while (running) {
    pollfd fds[2] = {{signalFd, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    const bool watchTerminal = readTerminal && inForeground();
    if (::poll(fds, watchTerminal ? 2 : 1, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents & POLLIN) {
      signalfd_siginfo info{};
      if (::read(signalFd, &info, sizeof info) != sizeof info) continue;
      if (info.ssi_signo == SIGUSR1) {
        command("f");
      } else if (info.ssi_signo == SIGUSR2) {
        command("b");
      } else if (info.ssi_signo == SIGPWR) {
        command("p");
      } else {
        running = false;
      }
      continue;
    }
    if (watchTerminal && fds[1].revents != 0) {
      std::vector<std::string> lines;
      readTerminal = typed.ReadAvailable(lines);
      for (const std::string& line : lines) command(line);
    }
  }
  ::close(signalFd);
  printer.Line("stopping");
  if (server) server->Stop();
  machine.Stop();
  printer.Line(machine.CompareFlash(firmwareName, content.firmwareAddress, content.firmware));
  printer.Line("stopped");
  return 0;
}
