#pragma once

#include <filesystem>
#include <string>

#include <vector>

namespace pellux {

class CancelToken;
class JobConsole;

// The modes whose server files Download Online Files fetches, in order.
std::vector<std::string> DownloadModes();

// The folder that receives a machine's files: beside the program, named by
// the upper-case key with every '/' turned into '_'.
std::filesystem::path DownloadBaseFolder(const std::filesystem::path& programFolder,
                                         const std::string& upperKey);
// The job specification whose list names the files of one mode.
std::string DownloadListSpec(const std::string& upperKey, const std::string& mode);
// Where one listed file is fetched from. ETC files are shared by all machines.
std::string DownloadFileUrl(const std::string& upperKey, const std::string& mode,
                            const std::string& fileName);

// Where the files go when the folder beside the program cannot be written
// (an installed program): $XDG_DATA_HOME/PelluxUpdate/Downloads (by default
// ~/.local/share/...), %LOCALAPPDATA%\PelluxUpdate\Downloads on Windows.
// Empty when neither can be known.
std::filesystem::path UserDownloadsFolder();

// Fetches every file the server lists for the machine into
// <programFolder>/<KEY>/<mode>/ (or the same below UserDownloadsFolder()),
// writing its lines to `console`, and waits for a key at the end. Unsafe
// names are refused one by one. False when a file could not be fetched, when
// `cancel` was cancelled, or when no folder can take the files.
bool DownloadOnlineFiles(const std::filesystem::path& programFolder, const std::string& upperKey,
                         const CancelToken& cancel, JobConsole& console);

// Download Online Files as the dialogs run it: in a job console of its own,
// which the body's own "press enter" prompt ends.
bool DownloadOnlineFilesInConsole(const std::filesystem::path& programFolder,
                                  const std::string& upperKey);

}  // namespace pellux
