#include "app/OnlineFilesDownload.h"

#include <system_error>
#include <vector>

#include "base/Cancellation.h"
#include "base/JobConsole.h"
#include "jobs/JobDriver.h"
#include "jobs/ModeTable.h"
#include "net/HttpDownload.h"
#include "net/ServerBaseUrl.h"
#include "net/ServerFiles.h"
#include "net/UrlEscape.h"

namespace pellux {

std::filesystem::path DownloadBaseFolder(const std::filesystem::path& programFolder,
                                         const std::string& upperKey) {
  std::string folderName = upperKey;
  for (char& c : folderName) {
    if (c == '/') c = '_';
  }
  return programFolder / folderName;
}

std::vector<std::string> DownloadModes() {
  std::vector<std::string> words;
  for (const JobMode& mode : CurrentModes()) {
    if (mode.downloadedWithMachine) words.push_back(mode.word);
  }
  return words;
}

std::string DownloadListSpec(const std::string& upperKey, const std::string& mode) {
  return "PUpdate-" + upperKey + "-" + mode + ".exe";
}

std::string DownloadFileUrl(const std::string& upperKey, const std::string& mode,
                            const std::string& fileName) {
  const auto row = FindMode(mode);
  if (row && row->sharedFolder)
    return ServerBaseUrl() + "/" + EscapeUrlValue(mode + "/" + fileName);
  return ServerBaseUrl() + EscapeUrlValue(upperKey + "/" + mode + "/" + fileName);
}

bool DownloadOnlineFiles(const std::filesystem::path& programFolder, const std::string& upperKey,
                         const CancelToken& cancel, JobConsole& console) {
  const std::filesystem::path base = DownloadBaseFolder(programFolder, upperKey);
  // The key comes from the server's machine list and becomes a folder name.
  if (!IsSafeServerFileName(base.filename().string())) {
    console.Printf("Refused unsafe machine key from the machine list: \"%s\"\r\n",
                   upperKey.c_str());
    return false;
  }
  console.Printf("Make Base Directory : %s\r\n", base.string().c_str());
  std::error_code ignored;
  std::filesystem::create_directory(base, ignored);

  for (const std::string& mode : DownloadModes()) {
    const std::filesystem::path modeFolder = base / mode;
    std::filesystem::create_directory(modeFolder, ignored);
    const std::vector<std::string> lines =
        ListServerFiles(DownloadListSpec(upperKey, mode), true, cancel, console);
    for (size_t i = 1; i < lines.size(); ++i) {
      if (cancel.IsCancelled()) return false;
      const std::string& name = lines[i];
      if (!IsSafeServerFileName(name)) {
        console.Printf("Refused unsafe file name from the server list: \"%s\"\r\n",
                       PrintableServerFileName(name).c_str());
        continue;
      }
      DownloadFile(DownloadFileUrl(upperKey, mode, name), (modeFolder / name).string(), cancel,
                   console);
    }
    if (cancel.IsCancelled()) return false;
  }
  console.Write("\r\n\r\n");
  console.Write("All file download complete.\r\n");
  console.ReadKey(cancel);
  return true;
}

}  // namespace pellux
