#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "TestFiles.h"

class UpdateServer;

namespace pellux {

// The reference update server on 127.0.0.1 (a free port) over a folder tree
// of its own. While it lives, ServerBaseUrl() points at it; the previous
// address comes back when it ends.
class TestUpdateServer {
 public:
  TestUpdateServer();
  ~TestUpdateServer();
  TestUpdateServer(const TestUpdateServer&) = delete;
  TestUpdateServer& operator=(const TestUpdateServer&) = delete;

  // Writes <root>/<key>/<mode>/<name>. Later files are newer, so without a
  // list the last one added is listed first.
  void AddFile(const std::string& key, const std::string& mode, const std::string& name,
               const std::string& content);
  // Fixes the list of <key>/<mode> and its order (the folder's .filelist);
  // the names need not exist. standardList false writes .filelistx.
  void SetList(const std::string& key, const std::string& mode,
               const std::vector<std::string>& names, bool standardList = true);
  // Writes <root>/<name>, such as machlist.txt.
  void AddRootFile(const std::string& name, const std::string& content);

  // "http://127.0.0.1:<port>/"
  std::string BaseUrl() const;
  int Port() const;
  const std::filesystem::path& Root() const { return root_.path(); }

  // The logged request lines, oldest first ("127.0.0.1 \"GET /x HTTP/1.1\" 200 5").
  std::vector<std::string> Requests() const;
  // The request targets only ("/filelist.php?MachineName=NR2/FIRMWARE").
  std::vector<std::string> RequestTargets() const;
  void ClearRequests();

 private:
  TempDir root_;
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::unique_ptr<UpdateServer> server_;
  std::string previousBaseUrl_;
  int filesAdded_ = 0;
};

}  // namespace pellux
