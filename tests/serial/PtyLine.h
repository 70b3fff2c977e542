#pragma once

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "PtyPair.h"

// The device side of a pseudo-terminal for port tests: blocking helpers on
// the master with generous time-outs.
inline std::string ReadFromMaster(const PtyPair& pty, size_t expected,
                                  std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (got.size() < expected) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd in{pty.MasterFd(), POLLIN, 0};
    if (::poll(&in, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[256];
    const ssize_t n =
        ::read(pty.MasterFd(), buffer, std::min(sizeof buffer, expected - got.size()));
    if (n <= 0) break;
    got.append(buffer, static_cast<size_t>(n));
  }
  return got;
}

inline void WriteToMaster(const PtyPair& pty, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(pty.MasterFd(), bytes.data() + done, bytes.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}
