#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pellux {

// The file names a server list offers: its lines from line 1 on (line 0 is
// the header, not checked here), untrimmed.
std::vector<std::string> OfferedFiles(const std::vector<std::string>& listLines);

// The job argument vector OK of the file selection runs: the job
// specification and the selected name; nothing without a selection.
std::optional<std::vector<std::string>> SelectedFileJob(const std::string& jobSpec,
                                                        const std::vector<std::string>& fileNames,
                                                        std::optional<size_t> selected);

}  // namespace pellux
