#include "jobs/JobDriver.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/Cancellation.h"
#include "base/JobConsole.h"
#include "jobs/JobName.h"
#include "jobs/ModeTable.h"
#include "jobs/UpdateStep.h"
#include "net/HttpDownload.h"
#include "net/PublisherSignature.h"
#include "net/ServerFiles.h"

namespace pellux {

namespace {
// Removes a job's temporary file directly: no shell, a missing file is fine.
void DeleteJobFile(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
}

// Names a local job's file with its size and MD5, so that its log tells
// which file went to the machine.
void DescribeLocalFile(const std::string& path, JobConsole& console) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  const std::string md5 = error ? std::string() : Md5OfFile(path);
  if (error || md5.empty()) {
    const std::string why = error ? error.message() : "it cannot be opened";
    console.Printf("Local file: %s cannot be read (%s).\r\n", path.c_str(), why.c_str());
    return;
  }
  console.Printf("Local file: %s, %llu bytes, MD5 %s\r\n", path.c_str(),
                 static_cast<unsigned long long>(size), md5.c_str());
}

// Downloads the list, picks or checks the file, downloads and verifies it.
// Fills `file` and returns true when the job may go on.
bool FetchOnlineFile(const JobSpec& job, int argc, const char* const* argv, std::string& file,
                     const CancelToken& cancel, JobConsole& console) {
  console.Write("\r\n");
  console.Write("Checking firmware on internet.....\n");
  const bool listDownloaded =
      DownloadFile(ListUrl(job.machine, job.listMode, true), kFileListName, cancel, console);
  if (cancel.IsCancelled()) {
    DeleteJobFile(kFileListName);
    return false;
  }
  if (!listDownloaded) console.Write("File list download failed.\r\n");
  const std::vector<std::string> lines = ReadLines(kFileListName);
  DeleteJobFile(kFileListName);
  if (lines.size() < 2 || lines[0] != "FileList") {
    console.Write("Data file list is error.\r\n");
    return false;
  }
  for (const std::string& line : lines)
    console.Printf("%s\r\n", PrintableServerFileName(line).c_str());

  std::string chosen = lines[1];
  if (argc >= 2) {
    bool listed = false;
    for (size_t i = 1; i < lines.size() && !listed && argv[1] != nullptr; ++i) {
      listed = lines[i] == argv[1];
    }
    if (!listed) {
      console.Write("Select file is not exist.\r\n");
      return false;
    }
    chosen = argv[1];
  }
  // The name becomes a local file name and part of a URL.
  if (!IsSafeServerFileName(chosen)) {
    console.Printf("Refused unsafe file name from the server list: \"%s\"\r\n",
                   PrintableServerFileName(chosen).c_str());
    return false;
  }
  // Only a safe name is ever handed back, even to be deleted.
  file = chosen;
  if (!DownloadFile(DataUrl(job.machine, job.listMode, file), file, cancel, console)) {
    if (cancel.IsCancelled()) return false;
    console.Write("Data file download failed.\r\n");
  }
  if (!CheckMd5(file, Md5Url(job.machine, job.listMode, file), cancel, console)) return false;
  if (!CheckServerSignature(file, ServerFilePath(job.machine, job.listMode, file),
                            SignatureUrl(job.machine, job.listMode, file), cancel, console)) {
    // Never left where a later job or a person could take it for checked.
    DeleteJobFile(file);
    return false;
  }
  return true;
}

// The name of a local file without its folders (either separator).
std::string FileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
}  // namespace

bool RunJob(int argc, const char* const* argv, const CancelToken& cancel, JobConsole& console) {
  if (argv == nullptr || argc < 1 || argv[0] == nullptr) return false;
  const bool local = argc > 2 && argv[2] != nullptr && std::strcmp(argv[2], "local") == 0;

  const JobSpec job = ParseJobSpec(argv[0]);
  if (!job.valid) {
    console.Write("Running mode error.\r\n");
    console.Write(JobNameProblem(argv[0]) + "\r\n");
    console.ReadKey(cancel);
    return false;
  }
  std::string label;
  if (!BannerLabel(job.mode, label)) {
    console.Write("Unknown mode.\r\n");
    return false;
  }
  console.Printf("\r\n[ %s %smode ] - %s\r\n", job.mode.c_str(), label.c_str(), job.name.c_str());

  std::string file;
  if (local) {
    file = argv[1] != nullptr ? argv[1] : "";
    DescribeLocalFile(file, console);
    if (!CheckLocalSignature(file, ServerFilePath(job.machine, job.listMode, FileNameOf(file)),
                             console)) {
      return false;
    }
  } else if (!FetchOnlineFile(job, argc, argv, file, cancel, console)) {
    // A stopped job leaves nothing behind; a file that failed its check stays.
    if (cancel.IsCancelled() && !file.empty()) DeleteJobFile(file);
    return false;
  }

  const bool result = PerformUpdateStep(job, file, cancel, console);
  if (!local) DeleteJobFile(file);
  return result;
}

bool RunJob(int argc, const char* const* argv) {
  return RunJob(argc, argv, JobCancellation(), ActiveConsole());
}

std::vector<std::string> ListServerFiles(const std::string& jobSpec, bool standardList,
                                         const CancelToken& cancel, JobConsole& console) {
  JobSpec job = ParseJobSpec(jobSpec);
  if (!job.valid) return {};
  const auto mode = FindMode(job.mode);
  if (!mode) return {};
  if (mode->sharedFolder) job.machine = ".";
  if (!DownloadFile(ListUrl(job.machine, job.listMode, standardList), kFileListName, cancel,
                    console)) {
    return {};
  }
  std::vector<std::string> lines = ReadLines(kFileListName);
  if (lines.empty()) console.Write("The server's file list is empty.\r\n");
  return lines;
}

std::vector<std::string> ListServerFiles(const std::string& jobSpec, bool standardList) {
  return ListServerFiles(jobSpec, standardList, JobCancellation(), ActiveConsole());
}

}  // namespace pellux
