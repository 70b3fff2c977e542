#include "serial/PortEnumeration.h"

#include <windows.h>

#include <cstdio>

#include "base/AsciiCase.h"
#include "serial/PortNames.h"

namespace pellux {

namespace {
// The registry's messages, kept in code page 949 as the machine's PCs show them.
const char kCannotOpenKey[] =
    "\xb7\xb9\xc1\xf6\xbd\xba\xc6\xae\xb8\xae \xc5\xb0\xb8\xa6 \xbf\xad \xbc\xf6 "
    "\xbe\xf8\xbd\xc0\xb4\xcf\xb4\xd9. \xbf\xc0\xb7\xf9 \xc4\xda\xb5\xe5: ";
const char kCannotQueryKey[] =
    "\xb7\xb9\xc1\xf6\xbd\xba\xc6\xae\xb8\xae \xc5\xb0 \xc1\xa4\xba\xb8\xb8\xa6 "
    "\xc4\xf5\xb8\xae\xc7\xd2 \xbc\xf6 \xbe\xf8\xbd\xc0\xb4\xcf\xb4\xd9. \xbf\xc0\xb7\xf9 "
    "\xc4\xda\xb5\xe5: ";
constexpr DWORD kValueNameLength = 1024;

class RegistryKey {
 public:
  explicit RegistryKey(HKEY key) : key_(key) {}
  ~RegistryKey() { RegCloseKey(key_); }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_;
};

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  for (const std::string& known : names) {
    if (EqualsIgnoringAsciiCase(known, name)) return true;
  }
  return false;
}

// The REG_SZ values of HARDWARE\DEVICEMAP\SERIALCOMM: one port name each.
std::vector<std::string> RegistryPorts() {
  HKEY opened = nullptr;
  LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0,
                              KEY_QUERY_VALUE, &opened);
  if (status != ERROR_SUCCESS) {
    std::fprintf(stderr, "%s%ld\n", kCannotOpenKey, status);
    return {};
  }
  RegistryKey key(opened);
  DWORD values = 0;
  DWORD longestData = 0;
  status = RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            &values, nullptr, &longestData, nullptr, nullptr);
  if (status != ERROR_SUCCESS) {
    std::fprintf(stderr, "%s%ld\n", kCannotQueryKey, status);
    return {};
  }
  std::vector<std::string> ports;
  std::vector<char> data(longestData + 1);
  for (DWORD index = 0; index < values; ++index) {
    char name[kValueNameLength];
    DWORD nameLength = kValueNameLength;
    DWORD type = 0;
    DWORD dataLength = longestData;
    if (RegEnumValueA(key.get(), index, name, &nameLength, nullptr, &type,
                      reinterpret_cast<BYTE*>(data.data()), &dataLength) != ERROR_SUCCESS ||
        type != REG_SZ) {
      continue;
    }
    data[dataLength] = '\0';  // a value stored without its terminating zero
    ports.emplace_back(data.data());
  }
  return ports;
}
}  // namespace

std::vector<std::string> EnumerateSystemPorts() {
  std::vector<std::string> names = PortAliasNames();
  for (const std::string& port : RegistryPorts()) {
    if (!port.empty() && !Contains(names, port)) names.push_back(port);
  }
  SortPortNames(names);
  return names;
}

}  // namespace pellux
