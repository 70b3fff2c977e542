#include "ApplicationInstallArchives.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "ChildProcess.h"
#include "TestFiles.h"

using namespace pellux;

namespace fs = std::filesystem;

void MakeZipWithPython(const std::string& zipPath, const std::string& body) {
  const std::string script = zipPath + ".py";
  WriteFile(script, R"(import struct, sys, zipfile
DEFLATED = zipfile.ZIP_DEFLATED
STORED = zipfile.ZIP_STORED
archive = zipfile.ZipFile(sys.argv[1], 'w')
def add(name, data, method=DEFLATED, system=3, attr=None, date=(2020, 1, 2, 3, 4, 6), extra=b''):
    info = zipfile.ZipInfo(name, date_time=date)
    info.create_system = system
    info.compress_type = method
    if attr is not None:
        info.external_attr = attr
    info.extra = extra
    archive.writestr(info, data)
)" + body + "\narchive.close()\n");
  ChildProcess python("/usr/bin/python3", {script, zipPath});
  ASSERT_EQ(python.Wait(), 0) << python.Output();
  fs::remove(script);
}

void MakeZipWithInfoZip(const std::string& zipPath, const std::string& sourceDir,
                        const std::vector<std::string>& options,
                        const std::vector<std::string>& inputs) {
  std::vector<std::string> args = options;
  args.push_back(zipPath);
  args.insert(args.end(), inputs.begin(), inputs.end());
  ChildProcess zip("/usr/bin/zip", args, {}, "", sourceDir);
  ASSERT_EQ(zip.Wait(), 0) << zip.Output();
}

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  return std::mktime(&local);
}

std::vector<std::string> TreeOf(const std::string& dir) {
  std::vector<std::string> tree;
  if (!fs::exists(dir)) return tree;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    std::string relative = fs::relative(entry.path(), dir).generic_string();
    if (entry.is_directory() && !entry.is_symlink()) relative += '/';
    tree.push_back(relative);
  }
  std::sort(tree.begin(), tree.end());
  return tree;
}
