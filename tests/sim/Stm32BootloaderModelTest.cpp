#include <gtest/gtest.h>

#include <vector>

#include "Stm32BootloaderModel.h"

namespace {
using Bytes = std::vector<uint8_t>;

// Feeds host bytes and returns what the model answered.
Bytes Exchange(Stm32BootloaderModel& model, const Bytes& host) {
  Bytes answer;
  model.OnBytes(host.data(), host.size(), [&](const uint8_t* data, size_t size) {
    answer.insert(answer.end(), data, data + size);
  });
  return answer;
}

Bytes AddressFrame(uint32_t address) {
  Bytes frame = {uint8_t(address >> 24), uint8_t(address >> 16), uint8_t(address >> 8),
                 uint8_t(address)};
  frame.push_back(frame[0] ^ frame[1] ^ frame[2] ^ frame[3]);
  return frame;
}

Bytes WriteFrame(const Bytes& data) {
  Bytes frame = {uint8_t(data.size() - 1)};
  uint8_t sum = frame[0];
  for (uint8_t byte : data) {
    frame.push_back(byte);
    sum ^= byte;
  }
  frame.push_back(sum);
  return frame;
}

void Write(Stm32BootloaderModel& model, uint32_t address, const Bytes& data, uint8_t expect) {
  ASSERT_EQ(Exchange(model, {0x31, 0xCE}), Bytes{0x79});
  ASSERT_EQ(Exchange(model, AddressFrame(address)), Bytes{0x79});
  ASSERT_EQ(Exchange(model, WriteFrame(data)), Bytes{expect});
}

Bytes Read(Stm32BootloaderModel& model, uint32_t address, uint8_t size) {
  EXPECT_EQ(Exchange(model, {0x11, 0xEE}), Bytes{0x79});
  EXPECT_EQ(Exchange(model, AddressFrame(address)), Bytes{0x79});
  Bytes answer = Exchange(model, {uint8_t(size - 1), uint8_t(~(size - 1))});
  EXPECT_EQ(answer.at(0), 0x79);
  return Bytes(answer.begin() + 1, answer.end());
}
}  // namespace

TEST(Stm32BootloaderModel, SynchronisesAndListsTheHighDensityCommands) {
  Stm32BootloaderModel model;
  EXPECT_EQ(Exchange(model, {0x00, 0x7F}), Bytes{0x79});  // line noise before the sync is ignored
  EXPECT_EQ(Exchange(model, {0x00, 0xFF}), (Bytes{0x79, 11, 0x22, 0x00, 0x01, 0x02, 0x11, 0x21,
                                                  0x31, 0x43, 0x63, 0x73, 0x82, 0x92, 0x79}));
  EXPECT_EQ(Exchange(model, {0x02, 0xFD}), (Bytes{0x79, 0x01, 0x04, 0x14, 0x79}));
  EXPECT_EQ(Exchange(model, {0x01, 0x02}), Bytes{0x1F});  // wrong complement
}

TEST(Stm32BootloaderModel, ProgrammingOnlyClearsBitsUntilErased) {
  Stm32BootloaderModel model;
  Exchange(model, {0x7F});
  Write(model, 0x08000800, {0xF0, 0x0F, 0x33, 0xFF}, 0x79);
  Write(model, 0x08000800, {0x3C, 0xFF, 0xFF, 0x00}, 0x79);
  EXPECT_EQ(Read(model, 0x08000800, 4), (Bytes{0x30, 0x0F, 0x33, 0x00}));
  // Erase page 1: N-1 = 0, code 1, checksum 1.
  EXPECT_EQ(Exchange(model, {0x43, 0xBC}), Bytes{0x79});
  EXPECT_EQ(Exchange(model, {0x00, 0x01, 0x01}), Bytes{0x79});
  EXPECT_EQ(Read(model, 0x08000800, 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
  ASSERT_EQ(model.Commands().size(), 5u);
  EXPECT_EQ(model.Commands()[3].codes, std::vector<uint16_t>{1});
}

TEST(Stm32BootloaderModel, ReadProtectionRefusesReadsUntilUnprotectErasesTheFlash) {
  Stm32BootloaderModel model;
  Exchange(model, {0x7F});
  Write(model, 0x08000000, {0x12, 0x34}, 0x79);
  EXPECT_EQ(Exchange(model, {0x82, 0x7D}), (Bytes{0x79, 0x79}));
  EXPECT_TRUE(model.ReadProtected());
  EXPECT_EQ(Exchange(model, {0x11, 0xEE}), Bytes{});  // reset: waits for a new sync
  EXPECT_EQ(Exchange(model, {0x7F}), Bytes{0x79});
  EXPECT_EQ(Exchange(model, {0x11, 0xEE}), Bytes{0x1F});
  EXPECT_EQ(Exchange(model, {0x31, 0xCE}), Bytes{0x1F});
  EXPECT_EQ(Exchange(model, {0x92, 0x6D}), (Bytes{0x79, 0x79}));
  EXPECT_FALSE(model.ReadProtected());
  EXPECT_EQ(model.Flash()[0], 0xFF);
}

TEST(Stm32BootloaderModel, F4ExtendedEraseOfSectors) {
  Stm32Options options;
  options.chip = Stm32Chip::F4;
  Stm32BootloaderModel model(options);
  Exchange(model, {0x7F});
  model.Program(0x08004000, {0x00});
  model.Program(0x08010000, {0x00});
  EXPECT_EQ(Exchange(model, {0x43, 0xBC}), Bytes{0x1F});  // F4 knows only Extended Erase
  EXPECT_EQ(Exchange(model, {0x44, 0xBB}), Bytes{0x79});
  // N-1 = 0, sector 1, checksum over everything after the command.
  EXPECT_EQ(Exchange(model, {0x00, 0x00, 0x00, 0x01, 0x01}), Bytes{0x79});
  EXPECT_EQ(model.Flash()[0x4000], 0xFF);
  EXPECT_EQ(model.Flash()[0x10000], 0x00);
}

TEST(Stm32BootloaderModel, DialectWithoutComplementsOrChecksums) {
  Stm32Options options;
  options.ackByte = 0x75;
  options.zeroBeforeSyncAck = true;
  Stm32BootloaderModel model(options);
  EXPECT_EQ(Exchange(model, {0x7F}), (Bytes{0x00, 0x75}));
  EXPECT_EQ(Exchange(model, {0x01}), (Bytes{0x22, 0x00, 0x00, 0x75}));
  EXPECT_EQ(Exchange(model, {0x31}), Bytes{0x75});
  EXPECT_EQ(Exchange(model, {0x08, 0x00, 0x00, 0x00}), Bytes{0x75});
  EXPECT_EQ(Exchange(model, {0x01, 0xAB, 0xCD}), Bytes{0x75});
  EXPECT_EQ(Exchange(model, {0x11}), Bytes{0x75});
  EXPECT_EQ(Exchange(model, {0x08, 0x00, 0x00, 0x00}), Bytes{0x75});
  EXPECT_EQ(Exchange(model, {0x01}), (Bytes{0xAB, 0xCD}));
  EXPECT_EQ(Exchange(model, {0x21}), Bytes{0x75});
  EXPECT_EQ(Exchange(model, {0x08, 0x00, 0x00, 0x00}), Bytes{0x75});
  EXPECT_EQ(model.StartedAt(), 0x08000000u);
}

TEST(Stm32BootloaderModel, PageEraseChecksumFollowsTheDialect) {
  Stm32BootloaderModel classic;
  ASSERT_EQ(Exchange(classic, {0x7F}), Bytes{0x79});
  classic.Program(0x08000800, {0x00});
  ASSERT_EQ(Exchange(classic, {0x43, 0xBC}), Bytes{0x79});
  EXPECT_EQ(Exchange(classic, {0x02, 0x00, 0x01, 0x02}), Bytes{});  // waits for the checksum
  EXPECT_EQ(Exchange(classic, {0x01}), Bytes{0x79});
  EXPECT_EQ(classic.Flash()[0x800], 0xFF);
  ASSERT_EQ(Exchange(classic, {0x43, 0xBC}), Bytes{0x79});
  EXPECT_EQ(Exchange(classic, {0x00, 0x05, 0x04}), Bytes{0x1F});  // wrong checksum

  Stm32Options options;
  options.ackByte = 0x75;
  Stm32BootloaderModel other(options);
  ASSERT_EQ(Exchange(other, {0x7F}), Bytes{0x75});
  other.Program(0x08001000, {0x00});
  ASSERT_EQ(Exchange(other, {0x43}), Bytes{0x75});
  EXPECT_EQ(Exchange(other, {0x02, 0x00, 0x01, 0x02}), Bytes{0x75});
  EXPECT_EQ(other.Flash()[0x1000], 0xFF);
  EXPECT_EQ(other.Commands().back().codes, (std::vector<uint16_t>{0, 1, 2}));
  // A checksum byte after the codes is the next command (here an unknown one).
  ASSERT_EQ(Exchange(other, {0x43}), Bytes{0x75});
  EXPECT_EQ(Exchange(other, {0x00, 0x03, 0x03}), (Bytes{0x75, 0x3F}));
}

TEST(Stm32BootloaderModel, FaultsOnDemand) {
  Stm32BootloaderModel model;
  model.SetSilent(true);
  EXPECT_EQ(Exchange(model, {0x7F}), Bytes{});
  model.SetSilent(false);
  EXPECT_EQ(Exchange(model, {0x7F}), Bytes{0x79});
  model.SetNackCommand(0x02);
  EXPECT_EQ(Exchange(model, {0x02, 0xFD}), Bytes{0x1F});
  model.SetNoise(true);
  EXPECT_NE(Exchange(model, {0x01, 0xFE}).at(0), 0x79);
}

TEST(Stm32BootloaderModel, ASecondSyncByteIsRefusedUntilReset) {
  Stm32BootloaderModel model;
  EXPECT_EQ(Exchange(model, {0x7F}), Bytes{0x79});
  EXPECT_EQ(Exchange(model, {0x7F}), Bytes{0x1F});
  model.Reset();
  EXPECT_EQ(Exchange(model, {0x7F}), Bytes{0x79});
}
