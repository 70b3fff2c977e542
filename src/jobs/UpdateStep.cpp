#include "jobs/UpdateStep.h"

#include <map>
#include <mutex>

#include "base/JobConsole.h"
#include "boards/ControlBoardUpdate.h"
#include "boards/DriveSetting.h"
#include "boards/FpgaUpgrade.h"
#include "boards/ProtocolImitation.h"
#include "jobs/ApplicationInstall.h"

namespace {
std::mutex overrideMutex;
std::map<std::string, UpdateStepFunction>& Overrides() {
  static std::map<std::string, UpdateStepFunction> overrides;
  return overrides;
}
}  // namespace

void OverrideUpdateStep(const std::string& mode, UpdateStepFunction step) {
  std::lock_guard lock(overrideMutex);
  if (step) {
    Overrides()[mode] = std::move(step);
  } else {
    Overrides().erase(mode);
  }
}

bool PerformUpdateStep(const JobSpec& job, const std::string& file) {
  UpdateStepFunction overridden;
  {
    std::lock_guard lock(overrideMutex);
    auto found = Overrides().find(job.mode);
    if (found != Overrides().end()) overridden = found->second;
  }
  if (overridden) return overridden(job, file);

  if (job.mode == "FIRMWARE") return updateControlBoard(job.port, file, false);
  if (job.mode == "INITIALIZE") return updateControlBoard(job.port, file, true);
  if (job.mode == "FPGA") return UpgradeFpga(job.port, file);
  if (job.mode == "APPLICATION") return InstallApplication(file);
  if (job.mode == "SERVO") return RunDriveSetting({file, job.port, "9600"}) != 0;
  if (job.mode == "STEP") return RunImitation({file, job.port, "9600"}) != 0;
  ConsolePrintf("Unknown mode.\r\n");
  return false;
}
