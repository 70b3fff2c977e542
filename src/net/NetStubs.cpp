// Placeholders until the HTTP client lands.
#include "jobs/JobConsole.h"
#include "net/HttpDownload.h"
#include "net/ServerFiles.h"

bool DownloadFile(const std::string&, const std::string&) {
  ConsoleWrite("Downloads are not available in this build.\n");
  return false;
}
std::vector<std::string> ReadLines(const std::string&) {
  return {};
}
std::string FetchText(const std::string&) {
  return {};
}
std::string Md5OfFile(const std::string&) {
  return {};
}
bool CheckMd5(const std::string&, const std::string&) {
  return false;
}
