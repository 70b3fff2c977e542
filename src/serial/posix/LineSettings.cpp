#include "serial/posix/LineSettings.h"

#include <array>
#include <utility>

namespace pellux {

namespace {
constexpr std::array<std::pair<int, speed_t>, 31> kSpeeds{{
    {50, B50},
    {75, B75},
    {110, B110},
    {134, B134},
    {150, B150},
    {200, B200},
    {300, B300},
    {600, B600},
    {1200, B1200},
    {1800, B1800},
    {2400, B2400},
    {4800, B4800},
    {9600, B9600},
    {19200, B19200},
    {38400, B38400},
    {57600, B57600},
    {115200, B115200},
    {230400, B230400},
    {460800, B460800},
    {500000, B500000},
    {576000, B576000},
    {921600, B921600},
    {1000000, B1000000},
    {1152000, B1152000},
    {1500000, B1500000},
    {2000000, B2000000},
    {2500000, B2500000},
    {3000000, B3000000},
    {3500000, B3500000},
    {4000000, B4000000},
    {0, B0},
}};
}  // namespace

bool BaudToSpeed(int baud, speed_t* speed) {
  if (baud <= 0) return false;
  for (const auto& [rate, constant] : kSpeeds) {
    if (rate == baud) {
      *speed = constant;
      return true;
    }
  }
  return false;
}

void MakeRawLine(termios* settings) {
  cfmakeraw(settings);
  settings->c_cflag |= CLOCAL | CREAD;
  settings->c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
  settings->c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  // Reads never block in the driver: the callers wait in poll().
  settings->c_cc[VMIN] = 0;
  settings->c_cc[VTIME] = 0;
}

bool SetLineSpeed(termios* settings, int baud) {
  speed_t speed;
  if (!BaudToSpeed(baud, &speed)) return false;
  return cfsetispeed(settings, speed) == 0 && cfsetospeed(settings, speed) == 0;
}

bool SetLineFormat(termios* settings, int dataBits, int parity, bool twoStopBits) {
  tcflag_t size;
  switch (dataBits) {
    case 5:
      size = CS5;
      break;
    case 6:
      size = CS6;
      break;
    case 7:
      size = CS7;
      break;
    case 8:
      size = CS8;
      break;
    default:
      return false;
  }
  tcflag_t& c = settings->c_cflag;
  c = (c & ~static_cast<tcflag_t>(CSIZE)) | size;
  switch (parity) {
    case 0:
      c &= ~static_cast<tcflag_t>(PARENB | PARODD);
      break;
    case 1:
      c |= PARENB | PARODD;
      break;
    case 2:
      c = (c | PARENB) & ~static_cast<tcflag_t>(PARODD);
      break;
    default:
      return false;
  }
  if (twoStopBits) {
    c |= CSTOPB;
  } else {
    c &= ~static_cast<tcflag_t>(CSTOPB);
  }
  return true;
}

}  // namespace pellux
