#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace pellux {

// A raw-socket HTTP responder on 127.0.0.1 for replies a proper server never
// sends: a wrong Content-Length, a connection cut short, a slow trickle. Each
// connection gets the same scripted bytes; connections are served one by one.
class RawHttpResponder {
 public:
  struct Script {
    std::string head;  // status line and headers, "\r\n\r\n" included
    std::string body;
    size_t pieceSize = 0;                // 0: the body in one write
    std::chrono::milliseconds pause{0};  // between pieces
    bool repeatBody = false;             // send the body again and again (a slow endless reply)
    bool holdOpen = false;  // after the reply, keep the connection until the client closes it
  };

  explicit RawHttpResponder(Script script);
  ~RawHttpResponder();
  RawHttpResponder(const RawHttpResponder&) = delete;
  RawHttpResponder& operator=(const RawHttpResponder&) = delete;

  int Port() const { return port_; }
  std::string BaseUrl() const;
  std::string LastRequest() const;
  int Connections() const;
  // Waits until the client has closed a connection; false after `timeout`.
  bool WaitForClientClose(std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;

 private:
  void Serve();
  void Answer(int connection);
  bool Sleep(std::chrono::milliseconds duration) const;

  Script script_;
  int listener_ = -1;
  int stopPipe_[2] = {-1, -1};
  int port_ = 0;
  std::thread thread_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::string lastRequest_;
  int connections_ = 0;
  bool clientClosed_ = false;
};

}  // namespace pellux
