#pragma once

#include <string>
#include <vector>

namespace pellux {

// Performs one job described by a job argument vector: [job specification],
// [job specification, server file name], or [job specification, local path, "local"].
bool RunJob(int argc, const char* const* argv);

// All lines of the server's file list for a job specification, header first;
// empty on any failure. standardList picks "filelist.php" over "filelistx.php".
std::vector<std::string> ListServerFiles(const std::string& jobSpec, bool standardList);

// Name under which the server list is saved in the current directory.
inline constexpr const char* kFileListName = "filelist.hex";

}  // namespace pellux
