#include "base/Cancellation.h"
#include "base/JobConsole.h"
#include "net/ServerFiles.h"

namespace pellux {

bool CheckMd5(const std::string& localFile, const std::string& md5Url, const CancelToken& cancel,
              JobConsole& console) {
  const std::string local = Md5OfFile(localFile);
  if (local.empty()) return false;
  const std::string server = FetchText(md5Url, cancel, console);
  if (server.empty()) return false;
  console.Printf("MD5 Server file   = %s\r\n", PrintableServerReply(server).c_str());
  console.Printf("MD5 Download file = %s\r\n", local.c_str());
  if (server == local) {
    console.Write("MD5 Check success.\r\n");
    return true;
  }
  console.Write("MD5 Check failed.\r\n");
  return false;
}

bool CheckMd5(const std::string& localFile, const std::string& md5Url) {
  return CheckMd5(localFile, md5Url, JobCancellation(), ActiveConsole());
}

}  // namespace pellux
