#include "app/win32/RegistrySettingsStore.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "net/win32/WideText.h"

namespace pellux {

namespace {
constexpr const wchar_t* kSubKey = L"SOFTWARE\\PelluxUpdateV3";

class OpenKey {
 public:
  ~OpenKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};
}  // namespace

bool RegistrySettingsStore::Read(const std::string& valueName, std::string& text) {
  OpenKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kSubKey, 0, KEY_READ | KEY_WRITE, key.out()) !=
      ERROR_SUCCESS) {
    return false;
  }
  const std::wstring name = ToWide(valueName);
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return false;
  }
  // A text the stored choice can be is short; anything longer is refused by
  // LoadSetting all the same, so it need not be read whole.
  if (size > kSettingBufferSize * sizeof(wchar_t)) return false;
  std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
  DWORD read = size;
  if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type,
                       reinterpret_cast<BYTE*>(data.data()), &read) != ERROR_SUCCESS) {
    return false;
  }
  // Some registries add a zero to a value stored without one: the size the
  // value was stored with decides.
  const size_t characters = std::min(read, size) / sizeof(wchar_t);
  // A value without its terminating zero is not a text the program wrote.
  if (characters == 0 || data[characters - 1] != L'\0') return false;
  data.resize(characters - 1);
  text = FromWide(data);
  return text.empty() == data.empty();
}

bool RegistrySettingsStore::Write(const std::string& valueName, const std::string& text) {
  OpenKey key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kSubKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                      key.out(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const std::wstring data = ToWide(text);
  // A failed write is not reported: the choice is only a convenience.
  RegSetValueExW(key.get(), ToWide(valueName).c_str(), 0, REG_SZ,
                 reinterpret_cast<const BYTE*>(data.c_str()),
                 static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  return true;
}

}  // namespace pellux
