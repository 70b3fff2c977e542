#pragma once

#include <cstdio>
#include <filesystem>

namespace pellux {

// Creates `path` for binary writing, never opening a file (or a link) that
// is already there. nullptr on failure, with errno set (EEXIST: it exists).
std::FILE* CreateNewFile(const std::filesystem::path& path);

}  // namespace pellux
