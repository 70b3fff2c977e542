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
}

TEST(ParseJobSpec, FiveOrMorePiecesAreRefused) {
  // Explorer's name for a copy: with the defaults it would update the FPGA
  // of another machine on another port.
  const std::string copy = R"(C:\Fabro\PUpdate-NR2-Servo-COM5 - Copy.exe)";
  EXPECT_FALSE(ParseJobSpec(copy).valid);
  EXPECT_FALSE(ParseJobSpec("PUpdate-A-B-C-D.exe").valid);
  EXPECT_FALSE(ParseJobSpec("PUpdate-NR2-Firmware-COM3-2").valid);
  EXPECT_EQ(JobNameProblem(copy),
            "The job name \"PUpdate-NR2-Servo-COM5 - Copy.exe\" was not understood: it has 5 "
            "parts between hyphens, not at most 4; a job name is "
            "PUpdate-<machine key>-<mode>-<port>, such as PUpdate-NR2-Firmware-COM3; rename the "
            "program file to one.");
  EXPECT_NE(JobNameProblem("Update-APB-FPGA-COM1")
                .find("\"Update-APB-FPGA-COM1\" was not "
                      "understood: a job name is PUpdate-"),
            std::string::npos);
  EXPECT_EQ(JobNameProblem("PUpdate.exe"), "");
  EXPECT_EQ(JobNameProblem("PUpdate-NR2-Firmware-COM3.exe"), "");
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
