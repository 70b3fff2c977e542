#include "jobs/ModeTable.h"

#include <mutex>

#include "boards/ControlBoardUpdate.h"
#include "boards/DriveSetting.h"
#include "boards/FpgaUpgrade.h"
#include "boards/ProtocolImitation.h"
#include "jobs/ApplicationInstall.h"
#include "jobs/JobName.h"

namespace pellux {

namespace {
constexpr const char* kFirmwareFilter = "Firmware (*.HEX) | *.HEX||";

ModeTable MakeProgramModes() {
  ModeTable modes;
  auto add = [&modes](JobMode mode) { modes.push_back(std::move(mode)); };
  add({"FIRMWARE", "Firmware", true, "Update ", "FIRMWARE", false, true, kFirmwareFilter,
       [](const JobSpec& job, const std::string& file, const CancelToken& cancel,
          JobConsole& console) {
         return updateControlBoard(job.port, file, false, cancel, console);
       }});
  add({"INITIALIZE", "Initialize", true, "", "FIRMWARE", false, false, kFirmwareFilter,
       [](const JobSpec& job, const std::string& file, const CancelToken& cancel,
          JobConsole& console) {
         return updateControlBoard(job.port, file, true, cancel, console);
       }});
  add({"FPGA", "FPGA", true, "Update ", "FPGA", false, true, "FPGA Rom (*.BIN) | *.BIN||",
       [](const JobSpec& job, const std::string& file, const CancelToken& cancel,
          JobConsole& console) { return UpgradeFpga(job.port, file, cancel, console); }});
  add({"APPLICATION", "Application", true, "Install ", "APPLICATION", false, false,
       "Application (*.ZIP) | *.ZIP||",
       [](const JobSpec&, const std::string& file, const CancelToken& cancel, JobConsole& console) {
         return InstallApplication(file, cancel, console);
       }});
  add({"SERVO", "", true, "Drive Setting", "SERVO", false, true, "",
       [](const JobSpec& job, const std::string& file, const CancelToken& cancel,
          JobConsole& console) {
         return RunDriveSetting({file, job.port, "9600"}, cancel, console) != 0;
       }});
  add({"STEP", "", true, "Drive Setting", "STEP", false, true, "",
       [](const JobSpec& job, const std::string& file, const CancelToken& cancel,
          JobConsole& console) {
         return RunImitation({file, job.port, "9600"}, cancel, console) != 0;
       }});
  add({"ETC", "", false, "", "ETC", true, true, "", nullptr});
  return modes;
}

std::mutex tableMutex;
ModeTable& TableInForce() {
  static ModeTable table = ProgramModes();
  return table;
}
}  // namespace

const ModeTable& ProgramModes() {
  static const ModeTable modes = MakeProgramModes();
  return modes;
}

std::unique_ptr<JobMode> FindMode(const std::string& word) {
  std::lock_guard lock(tableMutex);
  for (const JobMode& mode : TableInForce()) {
    if (mode.word == word) return std::make_unique<JobMode>(mode);
  }
  return nullptr;
}

ModeTable CurrentModes() {
  std::lock_guard lock(tableMutex);
  return TableInForce();
}

ModeTable InstallModeTable(ModeTable table) {
  std::lock_guard lock(tableMutex);
  ModeTable previous = std::move(TableInForce());
  TableInForce() = table.empty() ? ProgramModes() : std::move(table);
  return previous;
}

}  // namespace pellux
