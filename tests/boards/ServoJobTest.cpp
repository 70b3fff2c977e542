#include <gtest/gtest.h>

#include <future>

#include "CapturingConsole.h"
#include "ScopedEnv.h"
#include "TestFiles.h"
#include "TestUpdateServer.h"
#include "VirtualServoDrive.h"
#include "base/Cancellation.h"
#include "boards/DriveSetting.h"
#include "jobs/ConsoleRunner.h"

using namespace pellux;

namespace {

constexpr auto kGenerous = std::chrono::seconds(20);

class ServoJob : public ::testing::Test {
 protected:
  ServoJob() { drive_.Start(); }

  std::string SettingFile(const std::string& content) {
    const std::string path = dir_ / "servo.txt";
    WriteFile(path, content);
    return path;
  }

  // Runs a local SERVO job on COM5 on a thread of its own.
  std::future<bool> StartLocalJob(const std::string& settingPath) {
    return std::async(std::launch::async, [settingPath] {
      const char* argv[] = {"PUpdate-NR2-Servo-COM5", settingPath.c_str(), "local"};
      return RunJobInConsole(3, argv);
    });
  }

  VirtualServoDrive drive_;
  ScopedEnv portMap_{"PUPDATE_PORT_MAP", "COM5=" + drive_.PortPath()};
  CapturingConsoleHost host_;
  TempDir dir_;
};

}  // namespace

TEST_F(ServoJob, WritesTheFileIntoTheDriveAndStopsAtAutoTuning) {
  const std::string path = SettingFile(
      "CSD drive settings\n"
      "P0-01=2 // control mode\n"
      "P1-02=100\t\t/ speed limit\n"
      "999=1 auto tuning\n"
      "P2-03=7 never sent\n");
  ASSERT_TRUE(StartLocalJob(path).get());

  EXPECT_EQ(drive_.LineBaudRate(), 9600);
  EXPECT_EQ(drive_.Commands(),
            (std::vector<std::string>{"ETC12", "STRP0-012", "STRP1-02100", "TAT01"}));
  EXPECT_EQ(drive_.FactoryResets(), 1);
  EXPECT_TRUE(drive_.TuningStarted());
  EXPECT_EQ(drive_.Parameters(),
            (std::map<std::string, std::string>{{"P0-01", "2"}, {"P1-02", "100"}}));

  const std::string output = host_.console.Output();
  const std::string expected =
      "RS CSD Series Setting Program V1.0\r\n\r\n"
      "Load Setting File : " +
      path +
      "\r\n"
      "Load Complete.\r\n"
      "\r\n"
      "CSD Drive factory reset.\r\n"
      "-> Success.\r\n"
      "Wait for factory reset\r\n\r\n"
      "To Cancel setting process, Press Ctrl + C.\r\n\r\n"
      "Param P0-01 -> 2 (control mode) -> Success.\r\n"
      "Param P1-02 -> 100 (speed limit) -> Success.\r\n"
      "Servo Drive Auto Tunning.\r\n"
      "-> Success.\r\n"
      "\r\nComplete.\r\n";
  EXPECT_NE(output.find(expected), std::string::npos) << output;
}

TEST_F(ServoJob, OnlineJobWritesTheServersSettingFile) {
  TestUpdateServer server;
  server.AddFile("NR2", "SERVO", "csd-nr2.txt", "P0-01=3 mode\r\nP0-04=12 gain\r\n");
  ScopedCurrentDir cwd(dir_.path());
  const char* argv[] = {"PUpdate-NR2-Servo-COM5"};
  ASSERT_TRUE(RunJobInConsole(1, argv)) << host_.console.Output();
  EXPECT_EQ(drive_.Parameters(),
            (std::map<std::string, std::string>{{"P0-01", "3"}, {"P0-04", "12"}}));
  EXPECT_FALSE(drive_.TuningStarted());
  EXPECT_NE(host_.console.Output().find("Param P0-04 -> 12 (gain) -> Success.\r\n"),
            std::string::npos);
}

TEST_F(ServoJob, ErrorAnswerIsPrintedAndTheJobWaitsForTheAcknowledgeThatFollows) {
  drive_.SetRange("P1-02", 0, 50);
  auto job = StartLocalJob(SettingFile("P0-01=2 mode\nP1-02=100 speed\n"));

  ASSERT_TRUE(host_.console.WaitForOutput("Param P1-02 -> 100 (speed) Setting range over\r\n"));
  // Still waiting: no 0x06 has come for the refused value.
  EXPECT_EQ(job.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  EXPECT_EQ(host_.console.Output().find("\r\nComplete.\r\n"), std::string::npos);

  drive_.SendAnswer(0x06);
  ASSERT_EQ(job.wait_for(kGenerous), std::future_status::ready);
  EXPECT_TRUE(job.get());
  EXPECT_NE(host_.console.Output().find("Setting range over\r\n-> Success.\r\n\r\nComplete.\r\n"),
            std::string::npos);
  EXPECT_EQ(drive_.Parameters(), (std::map<std::string, std::string>{{"P0-01", "2"}}));
}

TEST_F(ServoJob, AnErrorAnswerThenSilenceIsNamedInTheLastLine) {
  drive_.SetRange("P1-02", 0, 50);
  auto job = StartLocalJob(SettingFile("P0-01=2 mode\nP1-02=100 speed\nP1-03=1 gain\n"));
  ASSERT_TRUE(host_.console.WaitForOutput("Param P1-02 -> 100 (speed) Setting range over\r\n"));
  // The drive says nothing more: the job ends after the time limit.
  ASSERT_EQ(job.wait_for(std::chrono::seconds(60)), std::future_status::ready);
  EXPECT_FALSE(job.get());
  const std::string output = host_.console.Output();
  EXPECT_NE(output.find("Setting range over\r\n\r\nThe servo drive on COM5 (" + drive_.PortPath() +
                        ") answered \"Setting range over\" to STR P1-02=100 and then nothing "
                        "more within 10 s: the value is outside the parameter's range: correct "
                        "it in the setting file, then run the job again.\r\n"),
            std::string::npos)
      << output;
  EXPECT_EQ(output.find("Check the cable"), std::string::npos) << output;
  EXPECT_EQ(output.find("P1-03"), std::string::npos) << output;
  EXPECT_EQ(drive_.Parameters(), (std::map<std::string, std::string>{{"P0-01", "2"}}));
}

TEST_F(ServoJob, EveryErrorAnswerHasItsText) {
  drive_.SetServoOn(true);
  auto job = StartLocalJob(SettingFile("P0-01=2 mode\n"));
  ASSERT_TRUE(host_.console.WaitForOutput("CSD Drive factory reset.\r\nServo is on\r\n"));
  const std::pair<uint8_t, std::string> answers[] = {
      {0x15, "Checksum Error\r\n"},
      {0x18, "Command Cancel\r\n"},
      {0x1E, "Setting range over\r\n"},
      {0x1F, "Wrong command.\r\n"},
      {0x41, ""},  // anything else is skipped silently
  };
  std::string expected = "Servo is on\r\n";
  for (const auto& [answer, text] : answers) {
    drive_.SendAnswer(answer);
    expected += text;
    if (!text.empty()) ASSERT_TRUE(host_.console.WaitForOutput(expected));
  }
  drive_.SetServoOn(false);
  drive_.SendAnswer(0x06);
  ASSERT_EQ(job.wait_for(kGenerous), std::future_status::ready);
  EXPECT_TRUE(job.get());
  EXPECT_NE(host_.console.Output().find(expected + "-> Success.\r\nWait for factory reset"),
            std::string::npos);
}

TEST_F(ServoJob, CancelEndsTheWaitForASilentDrive) {
  drive_.SetSilent(true);
  auto job = StartLocalJob(SettingFile("P0-01=2 mode\n"));
  ASSERT_TRUE(host_.console.WaitForOutput("CSD Drive factory reset.\r\n"));
  // The drive has the whole frame and never answers.
  for (int i = 0; i < 200 && drive_.Received().size() < 12; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(drive_.Commands(), std::vector<std::string>{"ETC12"});

  JobCancellation().Cancel();
  ASSERT_EQ(job.wait_for(kGenerous), std::future_status::ready);
  EXPECT_FALSE(job.get());
  EXPECT_EQ(host_.console.Output().find("Wait for factory reset"), std::string::npos);
}

TEST_F(ServoJob, RefusalsBeforeTheDriveIsTouched) {
  CapturingConsole console;
  ScopedActiveConsole active(console);
  EXPECT_EQ(RunDriveSetting({"a", "b"}), 0);
  EXPECT_EQ(console.Output(), "Usage : [Setup File] [Slave Comm Port] [Baudrate]\r\n");

  console.ClearOutput();
  EXPECT_EQ(RunDriveSetting({SettingFile("P0-01=2 mode\n"), "COM77", "9600"}), 0);
  EXPECT_NE(console.Output().find("Load Complete.\r\n\r\ncommCSD port open failed. ( COM77 )\r\n"),
            std::string::npos);

  console.ClearOutput();
  EXPECT_EQ(RunDriveSetting({SettingFile("P0-01=2"), "COM5", "9600"}), 0);
  EXPECT_NE(console.Output().find("Load Failed.\r\n"), std::string::npos);
  EXPECT_TRUE(drive_.Received().empty());
}
