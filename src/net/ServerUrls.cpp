#include "base/FormatText.h"
#include "net/ServerBaseUrl.h"
#include "net/ServerFiles.h"
#include "net/UrlEscape.h"

namespace pellux {

std::string ListUrl(const std::string& machine, const std::string& listMode, bool standardList) {
  return ServerBaseUrl() + (standardList ? "filelist.php" : "filelistx.php") +
         "?MachineName=" + EscapeUrlValue(machine + "/" + listMode);
}

std::string DataUrl(const std::string& machine, const std::string& listMode,
                    const std::string& file) {
  return ServerBaseUrl() + "/" + EscapeUrlValue(ServerFilePath(machine, listMode, file));
}

std::string ServerFilePath(const std::string& machine, const std::string& listMode,
                           const std::string& file) {
  return machine + "/" + listMode + "/" + file;
}

std::string Md5Url(const std::string& machine, const std::string& listMode,
                   const std::string& file) {
  return ServerBaseUrl() +
         "filemd5.php?FilePath=" + EscapeUrlValue(ServerFilePath(machine, listMode, file));
}

std::string SignatureUrl(const std::string& machine, const std::string& listMode,
                         const std::string& file) {
  return ServerBaseUrl() +
         "filesig.php?FilePath=" + EscapeUrlValue(ServerFilePath(machine, listMode, file));
}

bool IsSafeServerFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  if (name.size() >= 2 && name[1] == ':') return false;
  for (unsigned char c : name) {
    if (c == '/' || c == '\\' || c < 0x20 || c == 0x7F) return false;
  }
  return true;
}

std::string PrintableServerFileName(const std::string& name) {
  std::string shown;
  for (unsigned char c : name) {
    shown +=
        c < 0x20 || c == 0x7F ? FormatText("\\x%02X", c) : std::string(1, static_cast<char>(c));
  }
  return shown;
}

std::string PrintableServerReply(const std::string& reply) {
  constexpr size_t kShownBytes = 64;
  if (reply.size() <= kShownBytes) return PrintableServerFileName(reply);
  return PrintableServerFileName(reply.substr(0, kShownBytes)) +
         FormatText("... (%zu bytes)", reply.size());
}

}  // namespace pellux
