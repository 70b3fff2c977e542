#include "serial/PortDevice.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "serial/PortNames.h"

namespace pellux {

namespace {
std::string Reason(int error) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return "no such device; check the cable and PUPDATE_PORT_MAP";
    case EACCES:
    case EPERM:
      return "permission denied; join the dialout group (sudo usermod -aG dialout $USER) and "
             "log in again";
    case EBUSY:
    case EWOULDBLOCK:
      return "in use by another program or job; close it and try again";
    default:
      return std::strerror(error);
  }
}

// USB adapters hold short replies up to 16 ms unless asked not to.
void AskForLowLatency(int fd) {
  serial_struct serial{};
  if (::ioctl(fd, TIOCGSERIAL, &serial) != 0) return;
  serial.flags |= ASYNC_LOW_LATENCY;
  ::ioctl(fd, TIOCSSERIAL, &serial);
}
}  // namespace

int OpenPortDevice(const std::string& name, std::string& path, std::string& failure) {
  path = ResolvePortName(name);
  if (path.empty()) {
    failure = name.starts_with('/')
                  ? "Port " + name + ": no such device; check the cable and the path."
                  : "Port " + name + ": no such device (no PUPDATE_PORT_MAP alias, no /dev/" +
                        name + "); check the port name and PUPDATE_PORT_MAP.";
    return -1;
  }
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    failure = "Port " + name + " (" + path + "): " + Reason(errno) + ".";
    return -1;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno == EWOULDBLOCK ? EBUSY : errno;
    ::close(fd);
    failure = "Port " + name + " (" + path + "): " + Reason(error) + ".";
    return -1;
  }
  // Refuses later openers that do not take the lock; the other side of a
  // pseudo-terminal is not affected.
  ::ioctl(fd, TIOCEXCL);
  AskForLowLatency(fd);
  failure.clear();
  return fd;
}

void ClosePortDevice(int fd) {
  if (fd < 0) return;
  ::ioctl(fd, TIOCNXCL);
  ::close(fd);
}

}  // namespace pellux
