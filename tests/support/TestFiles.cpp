#include "TestFiles.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace pellux {

TempDir::TempDir() {
  // create_directory is false when the name is taken, so each folder is fresh.
  std::random_device seed;
  std::mt19937_64 names(seed());
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    // Six characters, as mkdtemp makes them: peers' messages quote these paths.
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, "%06x", static_cast<unsigned>(names() & 0xFFFFFF));
    const std::filesystem::path candidate = base / (std::string("pupdate-test-") + suffix);
    std::error_code ec;
    if (std::filesystem::create_directory(candidate, ec)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("no temporary folder can be created");
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Read-only files and folders (application installs) must go too.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    std::filesystem::permissions(
        it->path(), std::filesystem::perms::owner_all,
        std::filesystem::perm_options::add | std::filesystem::perm_options::nofollow, ignored);
  }
  std::filesystem::remove_all(path_, ignored);
}

ScopedCurrentDir::ScopedCurrentDir(const std::filesystem::path& dir)
    : previous_(std::filesystem::current_path()) {
  std::filesystem::current_path(dir);
}

ScopedCurrentDir::~ScopedCurrentDir() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string BuiltProgram(const std::string& name) {
  for (const char* dir : {"/src/", "/sim/", "/server/", "/"}) {
    const std::string candidate = std::string(PUPDATE_BINARY_DIR) + dir + name;
    if (std::filesystem::exists(candidate)) return candidate;
  }
  return std::string(PUPDATE_BINARY_DIR) + "/src/" + name;
}

}  // namespace pellux
