#include "base/JobConsole.h"
#include "net/ServerFiles.h"

namespace pellux {

bool CheckMd5(const std::string& localFile, const std::string& md5Url) {
  const std::string local = Md5OfFile(localFile);
  if (local.empty()) return false;
  const std::string server = FetchText(md5Url);
  if (server.empty()) return false;
  ConsolePrintf("MD5 Server file   = %s\r\n", PrintableServerReply(server).c_str());
  ConsolePrintf("MD5 Download file = %s\r\n", local.c_str());
  if (server == local) {
    ConsoleWrite("MD5 Check success.\r\n");
    return true;
  }
  ConsoleWrite("MD5 Check failed.\r\n");
  return false;
}

}  // namespace pellux
