#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "DigestCache.h"
#include "PublisherKey.h"
#include "ServerTree.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

// The reference update server: serves a ServerTree over HTTP.
//   machlist.txt, /<KEY>/<MODE>/<file> (also with a leading double slash),
//   /ETC/<file>, filelist.php?MachineName=<KEY>/<MODE>, filelistx.php?...,
//   filemd5.php?FilePath=<KEY>/<MODE>/<file>, and with a signing key
//   filesig.php?FilePath=<KEY>/<MODE>/<file>; 404 for anything else.
class UpdateServer {
 public:
  // Receives one line per request: address, request line, status, length.
  using RequestLog = std::function<void(const std::string& line)>;

  // With a key, every data file is offered with its signature.
  explicit UpdateServer(std::filesystem::path root, RequestLog log = {},
                        std::shared_ptr<const PublisherKey> key = nullptr);
  ~UpdateServer();
  UpdateServer(const UpdateServer&) = delete;
  UpdateServer& operator=(const UpdateServer&) = delete;

  // Binds to host:port (port 0: a free one) and serves on a thread of its
  // own. False when the address cannot be bound.
  bool Start(const std::string& host, int port);
  // The bound port once started.
  int Port() const { return port_; }
  // Stops accepting, ends the open connections and joins the thread.
  void Stop();

 private:
  void Handle(const httplib::Request& request, httplib::Response& response);
  void Log(const httplib::Request& request, int status, size_t length);

  ServerTree tree_;
  DigestCache digests_;
  RequestLog log_;
  std::mutex logMutex_;
  std::unique_ptr<httplib::Server> http_;
  std::thread thread_;
  std::atomic<bool> loopEnded_{false};
  int port_ = 0;
  std::atomic<int> listenSocket_{-1};
};
