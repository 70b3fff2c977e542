// Display check on X11 and Wayland: a connection to the server's socket.
#include "app/ui/DisplayCheck.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace pellux {

namespace {
constexpr int kConnectTimeoutMs = 3000;

class Socket {
 public:
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() {
    if (fd_ >= 0) ::close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

// A non-blocking connect, so an unreachable host cannot hang the start-up.
bool Connects(int family, const sockaddr* address, socklen_t length) {
  const Socket socket(::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (socket.fd() < 0) return false;
  if (::connect(socket.fd(), address, length) == 0) return true;
  if (errno != EINPROGRESS) return false;
  pollfd fd{socket.fd(), POLLOUT, 0};
  int ready;
  do {
    ready = ::poll(&fd, 1, kConnectTimeoutMs);
  } while (ready < 0 && errno == EINTR);
  if (ready <= 0) return false;
  int error = 0;
  socklen_t size = sizeof error;
  return ::getsockopt(socket.fd(), SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

bool UnixSocketConnects(const std::string& path, bool abstract) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const size_t offset = abstract ? 1 : 0;
  if (path.empty() || path.size() + offset >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path + offset, path.data(), path.size());
  const socklen_t length =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() + 1);
  return Connects(AF_UNIX, reinterpret_cast<const sockaddr*>(&address), length);
}

bool TcpConnects(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
  bool connected = false;
  for (addrinfo* entry = found; entry && !connected; entry = entry->ai_next) {
    connected = Connects(entry->ai_family, entry->ai_addr, entry->ai_addrlen);
  }
  ::freeaddrinfo(found);
  return connected;
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// DISPLAY is [host]:number[.screen]; no host (or "unix") is the local socket.
bool X11Reachable() {
  const std::string display = Environment("DISPLAY");
  const size_t colon = display.rfind(':');
  if (colon == std::string::npos) return false;
  const std::string host = display.substr(0, colon);
  const std::string rest = display.substr(colon + 1);
  const size_t digits = rest.find_first_not_of("0123456789");
  const std::string number = rest.substr(0, digits);
  if (number.empty() || number.size() > 4) return false;
  if (!host.empty() && host[0] == '/') return UnixSocketConnects(host, false);
  if (host.empty() || host == "unix") {
    const std::string path = "/tmp/.X11-unix/X" + number;
    return UnixSocketConnects(path, false) || UnixSocketConnects(path, true);
  }
  return TcpConnects(host, 6000 + std::stoi(number));
}

bool WaylandReachable() {
  const std::string name = Environment("WAYLAND_DISPLAY");
  if (name.empty()) return false;
  if (name[0] == '/') return UnixSocketConnects(name, false);
  const std::string runtime = Environment("XDG_RUNTIME_DIR");
  return !runtime.empty() && UnixSocketConnects(runtime + "/" + name, false);
}
}  // namespace

bool DisplayReachable(const std::string& chosen) {
  const std::string platform = chosen.empty() ? Environment("QT_QPA_PLATFORM") : chosen;
  if (!platform.empty()) {
    // "wayland;xcb" lists fallbacks; the first entry decides.
    const std::string first = platform.substr(0, platform.find_first_of(";:"));
    if (first == "xcb") return X11Reachable();
    if (first.starts_with("wayland")) return WaylandReachable() || X11Reachable();
    return true;
  }
  return X11Reachable() || WaylandReachable();
}

}  // namespace pellux
