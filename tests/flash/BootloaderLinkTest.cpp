#include "flash/BootloaderLink.h"

#include <gtest/gtest.h>

#include "../serial/PtyLine.h"
#include "PtyPair.h"
#include "Stm32TwinFixture.h"
#include "base/Cancellation.h"

using namespace pellux;

namespace {
using namespace linkresult;

class BootloaderLinkTest : public ::testing::Test {
 protected:
  void Connect(Stm32Options options = {}) {
    twin = StartStm32Twin(std::move(options));
    link.setPortName(twin->PortPath());
    ASSERT_EQ(link.setPortSettings(1, 57600, 8, 2, 1.0f), kOk);
    ASSERT_EQ(link.openPort(), kOk);
    link.setTimeout(1000);
  }
  void Activate() {
    ASSERT_EQ(link.initBootloader(), kOk);
    uint8_t version = 0;
    CommandSet commands;
    ASSERT_EQ(link.getCommands(&version, &commands), kOk);
  }
  void TearDown() override { link.closePort(); }

  std::unique_ptr<VirtualStm32Device> twin;
  CancelToken cancel;
  BootloaderLink link{cancel};
};
}  // namespace

TEST_F(BootloaderLinkTest, SettingsAreCheckedAndLockedWhileOpen) {
  EXPECT_EQ(link.setPortSettings(0, 57600, 8, 2, 1.0f), kBadSettings);
  EXPECT_EQ(link.setPortSettings(1, 57600, 8, 3, 1.0f), kBadSettings);
  EXPECT_EQ(link.setPortSettings(1, 57600, 8, 2, 2.5f), kBadSettings);
  EXPECT_EQ(link.initBootloader(), kNotOpen);
  Connect();
  EXPECT_EQ(link.setPortSettings(2, 57600, 8, 2, 1.0f), kAlreadyOpen);
  EXPECT_EQ(link.openPort(), kAlreadyOpen);
  EXPECT_EQ(twin->LineBaudRate(), 57600);
}

TEST_F(BootloaderLinkTest, SyncAfterZeroAndTheCommandsOfTheTarget) {
  Stm32Options options;
  options.zeroBeforeSyncAck = true;
  Connect(options);
  ASSERT_EQ(link.initBootloader(), kOk);
  EXPECT_EQ(link.ackMode(), 0x79);
  uint8_t version = 0;
  CommandSet commands;
  ASSERT_EQ(link.getCommands(&version, &commands), kOk);
  EXPECT_EQ(version, 0x22);
  EXPECT_TRUE(commands.erase);
  EXPECT_FALSE(commands.extendedErase);
  EXPECT_EQ(link.getCommands(nullptr, &commands), kNullArgument);
  uint8_t length = 0;
  std::vector<uint8_t> pid;
  ASSERT_EQ(link.getId(&length, &pid), kOk);
  EXPECT_EQ(pid, (std::vector<uint8_t>{0x04, 0x14}));
}

TEST_F(BootloaderLinkTest, RefusalsMissingRepliesAndUnlistedCommands) {
  Connect();
  Activate();
  std::vector<uint8_t> buffer(16);
  twin->Model().SetNackCommand(0x11);
  EXPECT_EQ(link.readMemory(0x08000000, 16, buffer), kRefused);
  twin->Model().SetNackCommand(std::nullopt);
  EXPECT_EQ(link.readMemory(0x30000000, 16, buffer), kLaterRefused);  // address refused
  EXPECT_EQ(link.readMemory(0x08000000, 16, {}), kNullArgument);
  // Go succeeds whatever byte follows the address.
  EXPECT_EQ(link.go(0x08000000), kOk);
  EXPECT_EQ(twin->Model().StartedAt(), 0x08000000u);
  // The program runs: the bootloader is gone and a read times out.
  link.setTimeout(200);
  EXPECT_EQ(link.readMemory(0x08000000, 16, buffer), kNoReply);
  // Extended Erase is not listed by this target: nothing goes out.
  EXPECT_EQ(link.target().supported.extendedErase, false);
}

TEST_F(BootloaderLinkTest, UnknownSyncReplyAndSilence) {
  Stm32Options options;
  options.noise = true;
  Connect(options);
  EXPECT_EQ(link.initBootloader(), kUnknownSync);
  EXPECT_EQ(link.ackMode(), 0);
  twin->Model().SetSilent(true);
  link.setTimeout(200);
  EXPECT_EQ(link.initBootloader(), kNoReply);
}

TEST_F(BootloaderLinkTest, EraseGoesInGroupsOfTen) {
  Connect();
  Activate();
  std::vector<uint16_t> pages(23);
  for (size_t i = 0; i < pages.size(); ++i) pages[i] = uint16_t(i);
  twin->Model().ClearCommands();
  ASSERT_EQ(link.erase(23, pages), kOk);
  const auto commands = twin->Model().Commands();
  ASSERT_EQ(commands.size(), 3u);
  EXPECT_EQ(commands[0].count, 10u);
  EXPECT_EQ(commands[1].count, 10u);
  EXPECT_EQ(commands[2].codes, (std::vector<uint16_t>{20, 21, 22}));
  EXPECT_EQ(link.erase(2, {}), kNullArgument);
}

TEST_F(BootloaderLinkTest, PageEraseBytesOnTheWireInBothDialects) {
  for (const uint8_t dialect : {uint8_t(0x79), uint8_t(0x75)}) {
    SCOPED_TRACE(dialect);
    Stm32Options options;
    options.ackByte = dialect;
    Connect(options);
    Activate();
    twin->Model().Program(0x08000800, {0x00});
    twin->ClearReceived();
    const std::vector<uint16_t> pages = {0, 1, 2};
    ASSERT_EQ(link.erase(3, pages), kOk);
    const std::vector<uint8_t> expected =
        dialect == 0x79 ? std::vector<uint8_t>{0x43, 0xBC, 0x02, 0x00, 0x01, 0x02, 0x01}
                        : std::vector<uint8_t>{0x43, 0x02, 0x00, 0x01, 0x02};
    EXPECT_EQ(twin->Received(), expected);
    EXPECT_EQ(twin->Model().Flash()[0x800], 0xFF);
    // The target is still in step with the host.
    uint8_t version = 0, option1 = 0, option2 = 0;
    EXPECT_EQ(link.getVersion(&version, &option1, &option2), kOk);
    EXPECT_EQ(version, 0x22);
    link.closePort();
  }
}

TEST_F(BootloaderLinkTest, OddSizesRoundUpAndUnusablePacketSizesAreRefused) {
  Connect();
  Activate();
  const std::vector<uint8_t> seven = {1, 2, 3, 4, 5, 6, 7, 0x55};
  twin->Model().ClearCommands();
  ASSERT_EQ(link.writeMemory(0x08000000, 7, seven), kOk);
  EXPECT_EQ(twin->Model().Commands().at(0).count, 8u);
  EXPECT_EQ(twin->Model().Flash()[7], 0x55);  // the pad byte came from the caller's buffer
  // 255 before any setPacketSize would wrap around to 0 on the wire.
  std::vector<uint8_t> buffer(300);
  EXPECT_EQ(link.upload(0x08000000, buffer), kBadSettings);
  EXPECT_EQ(link.download(0x08000000, buffer, false), kBadSettings);
  link.setPacketSize(130);
  EXPECT_EQ(link.packetSize(), 128u);
  link.setPacketSize(2);
  EXPECT_EQ(link.verify(0x08000000, buffer, false), kBadSettings);
}

TEST_F(BootloaderLinkTest, RemainderIsReadModifyWrittenAndBlankPacketsSkipped) {
  Connect();
  Activate();
  link.setPacketSize(128);
  std::vector<uint8_t> data = PatternBytes(300, 1);
  std::fill(data.begin(), data.begin() + 128, 0xFF);
  twin->Model().ClearCommands();
  ASSERT_EQ(link.download(0x08000000, data, true), kOk);
  const auto commands = twin->Model().Commands();
  ASSERT_EQ(commands.size(), 3u);
  EXPECT_EQ(commands[0].code, 0x31);
  EXPECT_EQ(commands[0].address, 0x08000080u);
  EXPECT_EQ(commands[1].code, 0x11);
  EXPECT_EQ(commands[1].address, 0x08000100u);
  EXPECT_EQ(commands[1].count, 48u);
  EXPECT_EQ(commands[2].code, 0x31);
  EXPECT_EQ(commands[2].count, 44u);
  EXPECT_EQ(link.verify(0x08000000, data, false), kOk);
  data[299] ^= 1;
  EXPECT_EQ(link.verify(0x08000000, data, false), kRefused);
  std::vector<uint8_t> back(300);
  ASSERT_EQ(link.upload(0x08000000, back), kOk);
  EXPECT_EQ(back[200], data[200]);
}

TEST_F(BootloaderLinkTest, OptionBytesAndProtections) {
  Connect();
  Activate();
  OptionByteValues values;
  ASSERT_EQ(link.getOptionBytes(kOptionBytesF1, values), kOk);
  EXPECT_EQ(values.rdp, 0xA5);
  values.data0 = 0x12;
  values.wrp1 = 0xF0;
  ASSERT_EQ(link.setOptionBytes(kOptionBytesF1, values), kOk);
  const auto block = twin->Model().OptionBytes();
  EXPECT_EQ(block[4], 0x12);
  EXPECT_EQ(block[5], 0xED);
  EXPECT_EQ(block[10], 0xF0);
  ASSERT_EQ(link.initBootloader(), kOk);  // the target reset to load them
  ASSERT_EQ(link.writeUnprotect(), kOk);
  ASSERT_EQ(link.initBootloader(), kOk);
  ASSERT_EQ(link.readoutProtect(), kOk);
  EXPECT_TRUE(twin->Model().ReadProtected());
  ASSERT_EQ(link.initBootloader(), kOk);
  EXPECT_EQ(link.getOptionBytes(kOptionBytesF1, values), kRefused);
  ASSERT_EQ(link.readoutUnprotect(), kOk);
  EXPECT_FALSE(twin->Model().ReadProtected());
  EXPECT_EQ(twin->Model().OptionBytes()[10], 0xFF);
}

TEST_F(BootloaderLinkTest, TheOtherDialect) {
  Stm32Options options;
  options.ackByte = 0x75;
  Connect(options);
  ASSERT_EQ(link.initBootloader(), kOk);
  EXPECT_EQ(link.ackMode(), 0x75);
  uint8_t version = 0;
  CommandSet commands;
  ASSERT_EQ(link.getCommands(&version, &commands), kOk);
  EXPECT_EQ(version, 0x22);
  EXPECT_TRUE(commands.writeUnprotect75);
  EXPECT_FALSE(commands.extendedErase);
  link.setPacketSize(128);
  const std::vector<uint8_t> data = PatternBytes(333, 2);
  ASSERT_EQ(link.erase(0xFFFF, {}), kOk);
  ASSERT_EQ(link.download(0x08000400, data, false), kOk);
  EXPECT_EQ(link.verify(0x08000400, data, false), kOk);
  ASSERT_EQ(link.writeUnprotect(), kOk);
  EXPECT_EQ(twin->Model().Commands().back().code, 0x71);
}

TEST_F(BootloaderLinkTest, VerifySkipsBlankPacketsOnlyWhenAsked) {
  Connect();
  Activate();
  link.setPacketSize(128);
  std::vector<uint8_t> expected = PatternBytes(384, 3);
  std::fill(expected.begin() + 128, expected.begin() + 256, 0xFF);
  ASSERT_EQ(link.download(0x08000000, expected, false), kOk);
  // The flash under the blank packet no longer reads blank.
  twin->Model().Program(0x08000080, {0x00});
  twin->Model().ClearCommands();
  EXPECT_EQ(link.verify(0x08000000, expected, true), kOk);
  std::vector<uint32_t> read;
  for (const Stm32Command& command : twin->Model().Commands())
    if (command.code == 0x11) read.push_back(command.address);
  EXPECT_EQ(read, (std::vector<uint32_t>{0x08000000, 0x08000100}));
  EXPECT_EQ(link.verify(0x08000000, expected, false), kRefused);
}

// A device scripted byte by byte on a bare pseudo-terminal.
TEST(BootloaderLinkGo, AnyByteAfterTheAddressIsTakenAsTheStart) {
  PtyPair line;
  CancelToken cancel;
  BootloaderLink link{cancel};
  link.setPortName(line.SlavePath());
  ASSERT_EQ(link.setPortSettings(1, 57600, 8, 2, 1.0f), kOk);
  ASSERT_EQ(link.openPort(), kOk);
  link.setTimeout(2000);
  // Sync, then Get with Go listed, then Go: acknowledged, then a refusal
  // after the address, which a started program may well send.
  WriteToMaster(line, std::string("\x79"
                                  "\x79\x01\x22\x21\x79"
                                  "\x79"
                                  "\x1F",
                                  8));
  ASSERT_EQ(link.initBootloader(), kOk);
  uint8_t version = 0;
  CommandSet commands;
  ASSERT_EQ(link.getCommands(&version, &commands), kOk);
  ASSERT_TRUE(commands.go);
  EXPECT_EQ(link.go(0x08000000), kOk);
  EXPECT_EQ(ReadFromMaster(line, 10), std::string("\x7F\x00\xFF\x21\xDE\x08\x00\x00\x00\x08", 10));
  // No byte at all after the address is a missing reply.
  WriteToMaster(line, "\x79");
  link.setTimeout(200);
  EXPECT_EQ(link.go(0x08000000), kNoReply);
  link.closePort();
}
