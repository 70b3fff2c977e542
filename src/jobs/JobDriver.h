#pragma once

#include <string>
#include <vector>

namespace pellux {

class CancelToken;
class JobConsole;

// Performs one job described by a job argument vector: [job specification],
// [job specification, server file name], or [job specification, local path, "local"].
// Everything it says and asks goes through `console`; everything it waits
// for ends once `cancel` is cancelled.
bool RunJob(int argc, const char* const* argv, const CancelToken& cancel, JobConsole& console);
// The same with the process's job token and the active console.
bool RunJob(int argc, const char* const* argv);

// All lines of the server's file list for a job specification, header first;
// empty on any failure. standardList picks "filelist.php" over "filelistx.php".
std::vector<std::string> ListServerFiles(const std::string& jobSpec, bool standardList,
                                         const CancelToken& cancel, JobConsole& console);
// The same with the process's job token and the active console.
std::vector<std::string> ListServerFiles(const std::string& jobSpec, bool standardList);

// Name under which the server list is saved in the current directory.
inline constexpr const char* kFileListName = "filelist.hex";

}  // namespace pellux
