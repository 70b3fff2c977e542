#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace pellux {

// An HTTP server on 127.0.0.1 that answers each request target (path and
// query as sent, "//NR2/FPGA/a.bin", "/filemd5.php?FilePath=...") with the
// body the test set for it, and 404 for any other. While it lives,
// ServerBaseUrl() points at it.
class CannedHttpServer {
 public:
  CannedHttpServer();
  ~CannedHttpServer();
  CannedHttpServer(const CannedHttpServer&) = delete;
  CannedHttpServer& operator=(const CannedHttpServer&) = delete;

  void Answer(const std::string& target, const std::string& body);
  void Forget(const std::string& target);
  std::string BaseUrl() const;
  // The targets asked for, oldest first.
  std::vector<std::string> Targets() const;

 private:
  std::unique_ptr<httplib::Server> http_;
  std::thread thread_;
  int port_ = 0;
  std::string previousBaseUrl_;
  mutable std::mutex mutex_;
  std::map<std::string, std::string> answers_;
  std::vector<std::string> targets_;
};

}  // namespace pellux
