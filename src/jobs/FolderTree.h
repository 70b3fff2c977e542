#pragma once

#include <filesystem>
#include <system_error>

namespace pellux {

// Copies the folder `from` to the new folder `to`, everything in it
// included. Files keep their times, and on Windows their read-only, hidden
// and system attributes, as the shell's copy keeps them; links are copied as
// links.
bool CopyFolderTree(const std::filesystem::path& from, const std::filesystem::path& to,
                    std::error_code& error);

// Removes `path` with everything below it, read-only files included (which
// Windows refuses to delete while they are read-only).
bool RemoveFolderTree(const std::filesystem::path& path, std::error_code& error);

// The two file operations they rest on, one per platform (backend files).
bool CopyFileWithItsTimes(const std::filesystem::path& from, const std::filesystem::path& to,
                          std::error_code& error);
void MakeDeletable(const std::filesystem::path& path);

}  // namespace pellux
