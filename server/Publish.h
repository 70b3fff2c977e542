#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "PublisherKey.h"

// Writes a server tree as static files for a plain web server (nginx):
//   <out>/files/...                 the data files and machlist.txt
//   <out>/lists/<path>/filelist.txt  reply of filelist.php?MachineName=<path>
//   <out>/lists/<path>/filelistx.txt reply of filelistx.php?MachineName=<path>
//   <out>/md5/<path>/<file>.md5      reply of filemd5.php?FilePath=<path>/<file>
//   <out>/sig/<path>/<file>.sig      reply of filesig.php?FilePath=<path>/<file>,
//                                    only with a key
// These four folders are replaced; anything else in <out> is left alone.
// False (with `error` filled) when something cannot be read or written.
bool PublishTree(const std::filesystem::path& tree, const std::filesystem::path& out,
                 const std::shared_ptr<const PublisherKey>& key, std::string& error);
