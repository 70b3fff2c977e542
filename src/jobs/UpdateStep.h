#pragma once

#include <string>

#include "jobs/JobName.h"
#include "jobs/ModeTable.h"

namespace pellux {

// The one dispatch point from a job's mode to the step that performs it: the
// step of the mode's row in the table in force.
bool PerformUpdateStep(const JobSpec& job, const std::string& file, const CancelToken& cancel,
                       JobConsole& console);

// Replaces the step of one mode in the table in force (an empty function
// restores the program's own). Used by tests that exercise the job driver
// without a device; InstallModeTable swaps whole tables.
void OverrideUpdateStep(const std::string& mode, UpdateStepFunction step);

}  // namespace pellux
