#pragma once

#include <functional>
#include <string>

#include "jobs/JobSpec.h"

// The one dispatch point from a job's mode to the step that performs it.
bool PerformUpdateStep(const JobSpec& job, const std::string& file);

// Replaces the step of one mode (an empty function restores the real one).
// Used by tests that exercise the job driver without a device.
using UpdateStepFunction = std::function<bool(const JobSpec& job, const std::string& file)>;
void OverrideUpdateStep(const std::string& mode, UpdateStepFunction step);
