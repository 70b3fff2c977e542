#include "jobs/UpdateStep.h"

#include "base/JobConsole.h"

namespace pellux {

void OverrideUpdateStep(const std::string& mode, UpdateStepFunction step) {
  ModeTable table = CurrentModes();
  for (JobMode& row : table) {
    if (row.word != mode) continue;
    if (step) {
      row.step = std::move(step);
    } else {
      for (const JobMode& own : ProgramModes()) {
        if (own.word == mode) row.step = own.step;
      }
    }
    break;
  }
  InstallModeTable(std::move(table));
}

bool PerformUpdateStep(const JobSpec& job, const std::string& file, const CancelToken& cancel,
                       JobConsole& console) {
  const auto mode = FindMode(job.mode);
  if (mode && mode->step) return mode->step(job, file, cancel, console);
  console.Printf("Unknown mode.\r\n");
  return false;
}

}  // namespace pellux
