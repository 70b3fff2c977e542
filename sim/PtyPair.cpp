#include "PtyPair.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace {
// The device side's own table of line speeds (shares nothing with src/).
constexpr std::array<std::pair<speed_t, int>, 30> kRates{{
    {B50, 50},           {B75, 75},           {B110, 110},         {B134, 134},
    {B150, 150},         {B200, 200},         {B300, 300},         {B600, 600},
    {B1200, 1200},       {B1800, 1800},       {B2400, 2400},       {B4800, 4800},
    {B9600, 9600},       {B19200, 19200},     {B38400, 38400},     {B57600, 57600},
    {B115200, 115200},   {B230400, 230400},   {B460800, 460800},   {B500000, 500000},
    {B576000, 576000},   {B921600, 921600},   {B1000000, 1000000}, {B1152000, 1152000},
    {B1500000, 1500000}, {B2000000, 2000000}, {B2500000, 2500000}, {B3000000, 3000000},
    {B3500000, 3500000}, {B4000000, 4000000},
}};

[[noreturn]] void Fail(const char* what) {
  throw std::runtime_error(std::string("pseudo-terminal: ") + what + ": " + std::strerror(errno));
}
}  // namespace

PtyPair::PtyPair() {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) Fail("posix_openpt");
  char name[128];
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
      ::ptsname_r(master_, name, sizeof name) != 0) {
    ::close(master_);
    Fail("grantpt/unlockpt/ptsname");
  }
  slavePath_ = name;
  // Held open for the pair's life: the master never sees a hang-up while the
  // program closes and reopens its side.
  slaveKeeper_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slaveKeeper_ < 0) {
    ::close(master_);
    Fail("open slave");
  }
  termios raw{};
  if (::tcgetattr(slaveKeeper_, &raw) == 0) {
    cfmakeraw(&raw);
    ::tcsetattr(slaveKeeper_, TCSANOW, &raw);
  }
}

PtyPair::~PtyPair() {
  if (master_ >= 0) ::close(master_);
  if (slaveKeeper_ >= 0) ::close(slaveKeeper_);
}

termios PtyPair::LineSettings() const {
  // The master reports the settings of the slave side, i.e. what the
  // program set; after a hang-up the kept slave descriptor still does.
  termios settings{};
  if (master_ < 0 || ::tcgetattr(master_, &settings) != 0) {
    ::tcgetattr(slaveKeeper_, &settings);
  }
  return settings;
}

int PtyPair::LineBaudRate() const {
  const termios settings = LineSettings();
  const speed_t speed = cfgetospeed(&settings);
  for (const auto& [constant, rate] : kRates) {
    if (constant == speed) return rate;
  }
  return 0;
}

void PtyPair::HangUp() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}
