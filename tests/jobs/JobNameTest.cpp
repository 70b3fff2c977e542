#include <gtest/gtest.h>

#include "jobs/JobName.h"

using namespace pellux;

TEST(ParseJobSpec, FullSpecification) {
  const JobSpec job = ParseJobSpec("PUpdate-NR2-Firmware-COM3.exe");
  EXPECT_TRUE(job.valid);
  EXPECT_EQ(job.name, "PUPDATE-NR2-FIRMWARE-COM3");
  EXPECT_EQ(job.machine, "NR2");
  EXPECT_EQ(job.mode, "FIRMWARE");
  EXPECT_EQ(job.port, "COM3");
  EXPECT_EQ(job.listMode, "FIRMWARE");
}

TEST(ParseJobSpec, DefaultsByPieceCount) {
  const JobSpec alone = ParseJobSpec("PUpdate.exe");
  EXPECT_TRUE(alone.valid);
  EXPECT_EQ(alone.machine, "APB");
  EXPECT_EQ(alone.mode, "FPGA");
  EXPECT_EQ(alone.port, "com1");

  const JobSpec two = ParseJobSpec("PUpdate-KRB.exe");
  EXPECT_EQ(two.machine, "KRB");
  EXPECT_EQ(two.mode, "FPGA");

  const JobSpec three = ParseJobSpec("PUpdate-KRB-Servo.exe");
  EXPECT_EQ(three.mode, "SERVO");
  EXPECT_EQ(three.port, "com1");

  const JobSpec five = ParseJobSpec("PUpdate-A-B-C-D.exe");
  EXPECT_TRUE(five.valid);
  EXPECT_EQ(five.machine, "APB");
  EXPECT_EQ(five.mode, "FPGA");
  EXPECT_EQ(five.port, "com1");
}

TEST(ParseJobSpec, DirectoriesAndCase) {
  EXPECT_FALSE(ParseJobSpec("C:/jobs/PUpdate-APB-FPGA-COM1.exe").valid);
  EXPECT_TRUE(ParseJobSpec(R"(C:\jobs\PUpdate-APB-FPGA-COM1.exe)").valid);
  const JobSpec lower = ParseJobSpec("pupdate-apb-firmware-com3");
  EXPECT_TRUE(lower.valid);
  EXPECT_EQ(lower.machine, "APB");
  EXPECT_EQ(lower.mode, "FIRMWARE");
  EXPECT_EQ(lower.port, "COM3");
  EXPECT_FALSE(ParseJobSpec("").valid);
  EXPECT_FALSE(ParseJobSpec("Update-APB-FPGA-COM1").valid);
}

TEST(ParseJobSpec, DotCutsTheSpecification) {
  const JobSpec job = ParseJobSpec("PUpdate-R1.5-FPGA-COM1.exe");
  EXPECT_EQ(job.machine, "R1");
  EXPECT_EQ(job.mode, "FPGA");
  EXPECT_EQ(job.port, "com1");
}

TEST(ParseJobSpec, InitializeListsUnderFirmware) {
  const JobSpec job = ParseJobSpec("PUpdate-NR2-Initialize-COM2");
  EXPECT_EQ(job.mode, "INITIALIZE");
  EXPECT_EQ(job.listMode, "FIRMWARE");
}

TEST(BannerLabel, OnlyPerformedModesHaveOne) {
  std::string label;
  ASSERT_TRUE(BannerLabel("APPLICATION", label));
  EXPECT_EQ(label, "Install ");
  ASSERT_TRUE(BannerLabel("INITIALIZE", label));
  EXPECT_EQ(label, "");
  ASSERT_TRUE(BannerLabel("STEP", label));
  EXPECT_EQ(label, "Drive Setting");
  EXPECT_FALSE(BannerLabel("ETC", label));
  EXPECT_FALSE(BannerLabel("firmware", label));
}
