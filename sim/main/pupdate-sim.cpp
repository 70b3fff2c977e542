// pupdate-sim: the virtual machine. The control board (running firmware,
// upgrade mode, STM32 bootloader), the servo drive and the step drive, each
// on a pseudo-terminal, optionally with the update server over sample
// content, so that a whole update runs with no machine attached.
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "ProgramVersion.h"
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
class ContentFolder {
 public:
  ContentFolder() = default;
  ~ContentFolder() {
    std::error_code ec;
    if (temporary_ && !path_.empty()) fs::remove_all(path_, ec);
  }
  ContentFolder(const ContentFolder&) = delete;
  ContentFolder& operator=(const ContentFolder&) = delete;

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
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  LogPrinter printer;
  ContentFolder folder;
  SampleContent content;
  if (!folder.Make(options.contentDir, error) ||
      !WriteSampleContent(folder.Path().string(), content, error)) {
    std::fprintf(stderr, "pupdate-sim: sample content: %s\n", error.c_str());
    return 1;
  }
  const std::string firmwareName =
      "NR2/FIRMWARE/" + (options.machine.f4Chip ? content.f4FirmwareFile : content.firmwareFile);

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
  if (options.server) {
    server = std::make_unique<UpdateServer>(folder.Path(), [&printer](const std::string& line) {
      printer.Line("update server: " + line);
    });
    if (!server->Start("127.0.0.1", options.serverPort)) {
      std::fprintf(stderr, "pupdate-sim: cannot listen on 127.0.0.1:%d\n", options.serverPort);
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
                     " STM32, bootloader " + dialect + ")";
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
  }
  printer.Plain("PUPDATE_PORT_MAP=" + portMap);
  if (!options.portMapFile.empty() && !WriteWhole(options.portMapFile, portMap + "\n")) {
    std::fprintf(stderr, "pupdate-sim: cannot write %s\n", options.portMapFile.c_str());
    return 1;
  }
  const std::string pid = std::to_string(::getpid());
  printer.Plain("Send SIGUSR1 (kill -USR1 " + pid + ") for a flash report.");
  printer.Plain("Send SIGUSR2 (kill -USR2 " + pid +
                ") to set the board's boot switch and cycle its power (Initialize and F4 jobs).");
  printer.Plain("Press Ctrl+C to stop.");

  for (;;) {
    int signal = 0;
    if (sigwait(&signals, &signal) != 0) continue;
    if (signal == SIGUSR1) {
      printer.Line(machine.CompareFlash(firmwareName, content.firmwareAddress, content.firmware));
      continue;
    }
    if (signal == SIGUSR2) {
      machine.Board().EnterBootloaderByBootSwitch();
      continue;
    }
    break;
  }
  printer.Line("stopping");
  if (server) server->Stop();
  machine.Stop();
  printer.Line(machine.CompareFlash(firmwareName, content.firmwareAddress, content.firmware));
  printer.Line("stopped");
  return 0;
}
