// Server file lists and names. The client reads a list into lines (model:
// LF ends a line, CR before it dropped, over-long lines and an unfinished
// last line left out); a name it calls safe cannot leave the download
// folder and prints without control bytes; the server never serves a
// path outside its tree.
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "ServerTree.h"
#include "net/ServerFiles.h"

using namespace pellux;

namespace {

std::vector<std::string> ModelLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = text.substr(start, end - start);
    if (line.size() > 1022) continue;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

void CheckName(const std::string& name) {
  const std::string printable = PrintableServerFileName(name);
  for (const char c : printable)
    FUZZ_CHECK(!std::iscntrl(static_cast<unsigned char>(c)),
               "printable names hold no control byte");
  if (!IsSafeServerFileName(name)) return;
  FUZZ_CHECK(!name.empty() && name != "." && name != "..", "a safe name is a file name");
  FUZZ_CHECK(name.find('/') == std::string::npos && name.find('\\') == std::string::npos,
             "a safe name has no directory part");
  FUZZ_CHECK(name.size() < 2 || name[1] != ':', "a safe name has no drive prefix");
  for (const char c : name)
    FUZZ_CHECK(!std::iscntrl(static_cast<unsigned char>(c)), "a safe name has no control byte");
}

const ServerTree& Tree(const std::filesystem::path& root) {
  static const ServerTree tree = [&] {
    std::filesystem::create_directories(root / "tree/NR2/FIRMWARE");
    const uint8_t line[] = "a\n";
    WriteBytes(root / "tree/machlist.txt", line, 2);
    WriteBytes(root / "tree/NR2/FIRMWARE/main.hex", line, 2);
    WriteBytes(root / "tree/NR2/FIRMWARE/.filelist", line, 2);
    WriteBytes(root / "secret.txt", line, 2);
    return ServerTree(root / "tree");
  }();
  return tree;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FuzzTempDir home;
  FuzzTempDir dir;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string path = (dir.path() / "filelist.hex").string();
  WriteBytes(path, data, size);

  const std::vector<std::string> lines = ReadLines(path);
  FUZZ_CHECK(lines == ModelLines(text), "lines match the model");
  for (const std::string& line : lines) CheckName(line);
  CheckName(text);

  const ServerTree& tree = Tree(home.path());
  const auto root = std::filesystem::canonical(tree.Root());
  for (const auto& found : {tree.File(text), tree.Folder(text)}) {
    if (!found) continue;
    const std::string served = std::filesystem::weakly_canonical(*found).string();
    FUZZ_CHECK(served.starts_with(root.string() + "/") || served == root.string(),
               "the server stays inside its tree");
    FUZZ_CHECK(served.find("/.") == std::string::npos, "hidden files are never served");
  }
  return 0;
}
