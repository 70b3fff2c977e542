#include <gtest/gtest.h>

#include "MemorySettingsStore.h"

#include "app/MachineList.h"
#include "app/MachineListFile.h"
#include "app/Settings.h"

#include <map>

using namespace pellux;

namespace {

MachineList Filled(const std::string& text) {
  MachineList list;
  for (const MachineListEntry& entry : ParseMachineList(text)) {
    list.Store(entry.displayName, entry.key);
  }
  return list;
}

TEST(MachineListFile, OnlyLinesOfExactlyTwoPiecesMakeEntries) {
  const auto entries = ParseMachineList("a,b,c\na\na,\n\na,,\n,x\nStrip Trimmer,STRIPTRIMMER\r\n");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].displayName, "a");
  EXPECT_EQ(entries[0].key, "");
  EXPECT_EQ(entries[1].displayName, "");
  EXPECT_EQ(entries[1].key, "x");
  // Nothing is trimmed: the carriage return stays part of the key.
  EXPECT_EQ(entries[2].key, "STRIPTRIMMER\r");
}

TEST(MachineList, LaterDuplicateReplacesTheKey) {
  const MachineList list = Filled("Plain Rim,PLAINRIM\nPlain Rim,NONE\n");
  EXPECT_EQ(list.GetMachineKey("Plain Rim"), "NONE");
  EXPECT_EQ(ParseMachineList("Plain Rim,PLAINRIM\nPlain Rim,NONE\n").size(), 2u);
}

TEST(MachineList, BuiltInTableServesOnlyAnEmptyCatalogue) {
  MachineList list;
  EXPECT_EQ(list.GetMachineKey("R1 Bender"), "R1");
  EXPECT_EQ(list.GetMachineKey("r1 bender"), "");
  EXPECT_EQ(list.GetMachineKey("New Gamma Profile Bender (Delta Strip Bender)"), "NEWGAM");
  EXPECT_EQ(list.GetMachineKey("Profile Notcher"), "PROFILENOTCHER");
  list.Store("Other", "OTH");
  EXPECT_EQ(list.GetMachineKey("R1 Bender"), "");
  EXPECT_EQ(list.GetMachineKey("Other"), "OTH");
}

TEST(MachineList, LocalModeWhenTheFirstNameInByteOrderHasKeyLocal) {
  MachineList list;
  EXPECT_FALSE(list.IsLocalMode());
  list.Store("Local Update", "Local");
  EXPECT_TRUE(list.IsLocalMode());
  list.Store("Alpha", "APB");  // sorts before "Local Update"
  EXPECT_FALSE(list.IsLocalMode());

  MachineList lower;
  lower.Store("Local Update", "local");
  EXPECT_FALSE(lower.IsLocalMode());
  // Byte order: upper case sorts before lower case.
  MachineList order;
  order.Store("b", "Local");
  order.Store("Z", "ZZ");
  EXPECT_FALSE(order.IsLocalMode());
}

TEST(MachineList, InstanceIsSharedByTheProcess) {
  EXPECT_EQ(MachineList::GetInstance().get(), MachineList::GetInstance().get());
}

TEST(Settings, LongValuesReadAsEmptyAndNoStoreIsSilent) {
  MemoryStore store;
  SettingsStore* previous = SetSettingsStore(&store);
  EXPECT_TRUE(SaveSetting("MachineType", "New R2 Bender"));
  EXPECT_EQ(LoadSetting("MachineType"), "New R2 Bender");
  EXPECT_EQ(LoadSetting("Other"), "");
  SaveSetting("MachineType", std::string(1023, 'x'));
  EXPECT_EQ(LoadSetting("MachineType").size(), 1023u);
  SaveSetting("MachineType", std::string(1024, 'x'));
  EXPECT_EQ(LoadSetting("MachineType"), "");
  SetSettingsStore(nullptr);
  EXPECT_FALSE(SaveSetting("MachineType", "x"));
  EXPECT_EQ(LoadSetting("MachineType"), "");
  SetSettingsStore(previous);
}

}  // namespace
