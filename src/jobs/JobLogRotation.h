#pragma once

#include <cstddef>
#include <filesystem>

namespace pellux {

// How many job logs a folder keeps.
inline constexpr size_t kJobLogsKept = 200;

// Removes the oldest job logs of `folder` (files named like JobLogFileName's)
// until `keep` remain. Other files are never touched; failures are ignored,
// a log folder is housekeeping.
void KeepNewestJobLogs(const std::filesystem::path& folder, size_t keep = kJobLogsKept);

}  // namespace pellux
