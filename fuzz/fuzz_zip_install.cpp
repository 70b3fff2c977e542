// ZIP packages through the whole install into a temporary folder: nothing
// lands outside the installation folder, no link leads out of it, and a
// failed install leaves the previous installation exactly as it was.
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "FuzzSupport.h"
#include "base/Cancellation.h"
#include "jobs/ApplicationInstall.h"

using namespace pellux;

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void CheckStaysInside(const fs::path& installation) {
  const fs::path root = fs::canonical(installation);
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (!it->is_symlink()) continue;
    const fs::path target = fs::read_symlink(it->path());
    FUZZ_CHECK(target.is_relative(), "a link's target is relative");
    const fs::path reached = fs::weakly_canonical(it->path().parent_path() / target);
    FUZZ_CHECK(reached.string().starts_with(root.string() + "/"),
               "a link stays inside the installation");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QuietConsole console;
  const CancelToken cancel;
  FuzzTempDir outer;
  const fs::path machine = outer.path() / "machine";
  const fs::path installation = machine / "Fabro";
  fs::create_directories(installation / "CFG");
  const std::string kept = "machine-specific settings";
  WriteBytes(installation / "CFG" / "machine.ini", reinterpret_cast<const uint8_t*>(kept.data()),
             kept.size());
  const fs::path package = outer.path() / "package.zip";
  WriteBytes(package, data, size);

  const bool installed =
      InstallApplication(package.string(), installation, std::time(nullptr), cancel, console);

  for (const fs::directory_entry& entry : fs::directory_iterator(outer.path()))
    FUZZ_CHECK(entry.path() == package || entry.path() == machine,
               "nothing lands beside the machine");
  for (const fs::directory_entry& entry : fs::directory_iterator(machine)) {
    const std::string name = entry.path().filename().string();
    FUZZ_CHECK(name == "Fabro" || name.starts_with("Fabro-Before-"),
               "only the installation and its backup");
  }
  FUZZ_CHECK(ReadAll(installation / "CFG" / "machine.ini") == kept,
             "the machine's settings survive, installed or not");
  if (fs::exists(installation)) CheckStaysInside(installation);
  if (!installed) {
    size_t entries = 0;
    for (auto it = fs::recursive_directory_iterator(installation);
         it != fs::recursive_directory_iterator(); ++it)
      ++entries;
    FUZZ_CHECK(entries == 2, "a failed install leaves the previous one exactly as it was");
  }
  return 0;
}
