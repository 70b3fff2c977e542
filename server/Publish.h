#pragma once

#include <filesystem>
#include <string>

// Writes a server tree as static files for a plain web server (nginx):
//   <out>/files/...                 the data files and machlist.txt
//   <out>/lists/<path>/filelist.txt  reply of filelist.php?MachineName=<path>
//   <out>/lists/<path>/filelistx.txt reply of filelistx.php?MachineName=<path>
//   <out>/md5/<path>/<file>.md5      reply of filemd5.php?FilePath=<path>/<file>
// The three folders are replaced; anything else in <out> is left alone.
// False (with `error` filled) when something cannot be read or written.
bool PublishTree(const std::filesystem::path& tree, const std::filesystem::path& out,
                 std::string& error);
