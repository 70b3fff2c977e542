// The registry as the dialog's settings store, against values written the way
// other programs (regedit, an older version) may have left them.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/Settings.h"
#include "app/win32/RegistrySettingsStore.h"

using namespace pellux;

namespace {
constexpr const wchar_t* kKey = L"SOFTWARE\\PelluxUpdateV3";

// Values of their own under the real key, removed again afterwards.
class RegistrySettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key_, nullptr),
              ERROR_SUCCESS);
    previous_ = SetSettingsStore(&store_);
  }
  void TearDown() override {
    SetSettingsStore(previous_);
    for (const wchar_t* name :
         {L"TestText", L"TestNumber", L"TestExpand", L"TestLong", L"TestMissing"}) {
      RegDeleteValueW(key_, name);
    }
    RegCloseKey(key_);
  }
  void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
  }

  HKEY key_ = nullptr;
  RegistrySettingsStore store_;
  SettingsStore* previous_ = nullptr;
};
}  // namespace

TEST_F(RegistrySettingsStoreTest, KeepsATextAsAStringValueWithItsZero) {
  const std::string name =
      "Biegemaschine Gr\xC3\xB6\xC3\x9F"
      "e";  // UTF-8
  ASSERT_TRUE(SaveSetting("TestText", name));
  EXPECT_EQ(LoadSetting("TestText"), name);

  // Regedit and the other Windows programs read it as a plain REG_SZ.
  DWORD type = 0;
  wchar_t data[64] = {};
  DWORD size = sizeof(data);
  ASSERT_EQ(
      RegQueryValueExW(key_, L"TestText", nullptr, &type, reinterpret_cast<BYTE*>(data), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(std::wstring(data), L"Biegemaschine Gr\u00F6\u00DFe");
  EXPECT_EQ(size, (std::wstring(data).size() + 1) * sizeof(wchar_t));
}

TEST_F(RegistrySettingsStoreTest, RefusesValuesThatAreNotWholeTexts) {
  const DWORD number = 42;
  SetRaw(L"TestNumber", REG_DWORD, &number, sizeof(number));
  std::string text = "unchanged";
  EXPECT_FALSE(store_.Read("TestNumber", text));
  EXPECT_EQ(LoadSetting("TestNumber"), "");

  // (A string stored without its zero cannot be made here: Wine's registry
  // adds one when the value is written.)

  EXPECT_FALSE(store_.Read("TestMissing", text));
  EXPECT_EQ(text, "unchanged");
}

TEST_F(RegistrySettingsStoreTest, ReadsExpandableStringsAndRefusesLongOnes) {
  const std::wstring expand = L"New R2 Bender";
  SetRaw(L"TestExpand", REG_EXPAND_SZ, expand.c_str(),
         static_cast<DWORD>((expand.size() + 1) * sizeof(wchar_t)));
  EXPECT_EQ(LoadSetting("TestExpand"), "New R2 Bender");

  // The stored choice fits in 1024 bytes with its zero; anything longer is none.
  const std::wstring fits(1023, L'x');
  SetRaw(L"TestLong", REG_SZ, fits.c_str(),
         static_cast<DWORD>((fits.size() + 1) * sizeof(wchar_t)));
  EXPECT_EQ(LoadSetting("TestLong"), std::string(1023, 'x'));
  const std::wstring tooLong(1024, L'x');
  SetRaw(L"TestLong", REG_SZ, tooLong.c_str(),
         static_cast<DWORD>((tooLong.size() + 1) * sizeof(wchar_t)));
  EXPECT_EQ(LoadSetting("TestLong"), "");
}
