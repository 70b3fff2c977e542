#include "app/OnlineFilesDownload.h"

#include <system_error>
#include <vector>

#include "base/Cancellation.h"
#include "base/JobConsole.h"
#include "jobs/ConsoleRunner.h"
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

namespace {
// The machine's folder and one folder per mode in it; an existing folder is
// fine. On failure `failed` names the folder that could not be made.
std::error_code MakeTree(const std::filesystem::path& base, bool withParents,
                         std::filesystem::path& failed) {
  std::error_code error;
  failed = base;
  if (withParents) {
    std::filesystem::create_directories(base, error);
  } else {
    std::filesystem::create_directory(base, error);
  }
  for (const std::string& mode : DownloadModes()) {
    if (error) break;
    failed = base / mode;
    std::filesystem::create_directory(failed, error);
  }
  return error;
}

// Makes the machine's folder tree beside the program, or else below the
// user's downloads folder. Empty when neither can be made.
std::filesystem::path MakeBaseFolder(const std::filesystem::path& programFolder,
                                     const std::string& upperKey, JobConsole& console) {
  const std::filesystem::path beside = DownloadBaseFolder(programFolder, upperKey);
  console.Printf("Make Base Directory : %s\r\n", beside.string().c_str());
  std::filesystem::path failed;
  const std::error_code error = MakeTree(beside, false, failed);
  if (!error) return beside;

  const std::filesystem::path userFolder = UserDownloadsFolder();
  if (userFolder.empty()) {
    console.Printf(
        "Cannot create %s: %s. Set HOME or run the program from a folder you may "
        "write to.\r\n",
        failed.string().c_str(), error.message().c_str());
    return {};
  }
  const std::filesystem::path inUserFolder = DownloadBaseFolder(userFolder, upperKey);
  console.Printf("Cannot write beside the program (%s: %s); the files go to %s instead.\r\n",
                 failed.string().c_str(), error.message().c_str(), inUserFolder.string().c_str());
  const std::error_code userError = MakeTree(inUserFolder, true, failed);
  if (userError) {
    console.Printf("Cannot create %s: %s. Check the folder's permissions and free space.\r\n",
                   failed.string().c_str(), userError.message().c_str());
    return {};
  }
  console.Printf("Make Base Directory : %s\r\n", inUserFolder.string().c_str());
  return inUserFolder;
}
}  // namespace

bool DownloadOnlineFiles(const std::filesystem::path& programFolder, const std::string& upperKey,
                         const CancelToken& cancel, JobConsole& console) {
  // The key comes from the server's machine list and becomes a folder name.
  if (!IsSafeServerFileName(DownloadBaseFolder(programFolder, upperKey).filename().string())) {
    console.Printf("Refused unsafe machine key from the machine list: \"%s\"\r\n",
                   upperKey.c_str());
    return false;
  }
  const std::filesystem::path base = MakeBaseFolder(programFolder, upperKey, console);
  if (base.empty()) return false;

  int listed = 0;
  int failed = 0;
  for (const std::string& mode : DownloadModes()) {
    const std::filesystem::path modeFolder = base / mode;
    const std::vector<std::string> lines =
        ListServerFiles(DownloadListSpec(upperKey, mode), true, cancel, console);
    for (size_t i = 1; i < lines.size(); ++i) {
      if (cancel.IsCancelled()) return false;
      const std::string& name = lines[i];
      ++listed;
      if (!IsSafeServerFileName(name)) {
        console.Printf("Refused unsafe file name from the server list: \"%s\"\r\n",
                       PrintableServerFileName(name).c_str());
        ++failed;
        continue;
      }
      if (!DownloadFile(DownloadFileUrl(upperKey, mode, name), (modeFolder / name).string(), cancel,
                        console)) {
        ++failed;
      }
    }
    if (cancel.IsCancelled()) return false;
  }
  console.Write("\r\n\r\n");
  console.Write("All file download complete.\r\n");
  if (failed > 0) {
    console.Printf("%d of %d files could not be downloaded; the lines above say why.\r\n", failed,
                   listed);
  }
  console.Printf("The files are in %s\r\n", base.string().c_str());
  console.ReadKey(cancel);
  return failed == 0;
}

bool DownloadOnlineFilesInConsole(const std::filesystem::path& programFolder,
                                  const std::string& upperKey) {
  return RunInConsole(
      [programFolder, upperKey](const CancelToken& cancel, JobConsole& console) {
        return DownloadOnlineFiles(programFolder, upperKey, cancel, console);
      },
      "DOWNLOAD-" + upperKey, RunEnding::Immediate);
}

}  // namespace pellux
