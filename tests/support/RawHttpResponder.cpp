#include "RawHttpResponder.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace pellux {

RawHttpResponder::RawHttpResponder(Script script) : script_(std::move(script)) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(listener_, 8) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      ::pipe2(stopPipe_, O_CLOEXEC) != 0) {
    throw std::runtime_error("raw responder cannot listen");
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

RawHttpResponder::~RawHttpResponder() {
  const char byte = 1;
  [[maybe_unused]] ssize_t written = ::write(stopPipe_[1], &byte, 1);
  thread_.join();
  ::close(listener_);
  ::close(stopPipe_[0]);
  ::close(stopPipe_[1]);
}

std::string RawHttpResponder::BaseUrl() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

std::string RawHttpResponder::LastRequest() const {
  std::lock_guard lock(mutex_);
  return lastRequest_;
}

int RawHttpResponder::Connections() const {
  std::lock_guard lock(mutex_);
  return connections_;
}

bool RawHttpResponder::WaitForClientClose(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [this] { return clientClosed_; });
}

// False once the responder is stopping.
bool RawHttpResponder::Sleep(std::chrono::milliseconds duration) const {
  pollfd stop{stopPipe_[0], POLLIN, 0};
  return ::poll(&stop, 1, static_cast<int>(duration.count())) == 0;
}

void RawHttpResponder::Serve() {
  for (;;) {
    pollfd fds[2] = {{stopPipe_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 || fds[0].revents != 0) return;
    const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    Answer(connection);
    ::close(connection);
  }
}

void RawHttpResponder::Answer(int connection) {
  bool peerClosed = false;
  std::string request;
  while (request.find("\r\n\r\n") == std::string::npos) {
    pollfd fds[2] = {{stopPipe_[0], POLLIN, 0}, {connection, POLLIN, 0}};
    if (::poll(fds, 2, 10'000) <= 0 || fds[0].revents != 0) return;
    char buffer[4096];
    const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
    if (got <= 0) return;
    request.append(buffer, static_cast<size_t>(got));
  }
  {
    std::lock_guard lock(mutex_);
    lastRequest_ = request;
    ++connections_;
  }

  auto send = [&](const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t n = ::send(connection, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return false;
      sent += static_cast<size_t>(n);
    }
    return true;
  };
  bool ok = send(script_.head);
  do {
    const size_t piece = script_.pieceSize == 0 ? script_.body.size() : script_.pieceSize;
    for (size_t at = 0; ok && at < script_.body.size(); at += piece) {
      ok = send(script_.body.substr(at, piece));
      if (ok && script_.pause.count() > 0) ok = Sleep(script_.pause);
    }
  } while (ok && script_.repeatBody);
  peerClosed = !ok;

  if (ok && script_.holdOpen) {
    for (;;) {
      pollfd fds[2] = {{stopPipe_[0], POLLIN, 0}, {connection, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0 || fds[0].revents != 0) break;
      char buffer[4096];
      if (::recv(connection, buffer, sizeof buffer, 0) <= 0) {
        peerClosed = true;
        break;
      }
    }
  }
  if (peerClosed) {
    std::lock_guard lock(mutex_);
    clientClosed_ = true;
    changed_.notify_all();
  }
}

}  // namespace pellux
