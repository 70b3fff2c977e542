#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <future>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "JobOutput.h"
#include "TestFiles.h"

using namespace pellux;

// Every fault of pupdate-sim against every serial job, as a user meets them:
// each job ends with a line that says what happened and "Error", or
// completes only where the device really got its data. The time limits are
// upper bounds for "it ended", not measurements.
namespace {
namespace fs = std::filesystem;

constexpr auto kEnds = std::chrono::seconds(40);

std::string Match(const std::string& text, const std::string& pattern) {
  std::smatch match;
  if (!std::regex_search(text, match, std::regex(pattern))) return "";
  return match[1];
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// One pupdate-sim with its server and a folder to run jobs in.
class FaultySim {
 public:
  explicit FaultySim(const std::string& fault)
      : sim_(BuiltProgram("pupdate-sim"),
             {"--server", "--fault", fault, "--port-map-file", dir_ / "port-map"}) {
    ready_ = sim_.WaitForOutput("Press Ctrl+C to stop.\n");
    std::string portMap = ReadFile(dir_ / "port-map");
    if (!portMap.empty()) portMap.pop_back();
    env_ = {{"PUPDATE_PORT_MAP", portMap},
            {"PUPDATE_SERVER_URL", Match(sim_.Output(), "PUPDATE_SERVER_URL=(\\S+)\n")}};
  }
  ~FaultySim() { sim_.Signal(SIGTERM); }
  bool ready() const { return ready_; }
  std::string Log() { return sim_.Output(); }

  // Starts the online job of `mode` for NR2 on `port`, in a folder of its own.
  std::unique_ptr<ChildProcess> Start(const std::string& mode, const std::string& port) {
    const fs::path folder = fs::path(dir_.path()) / mode;
    fs::create_directories(folder);
    const fs::path link = folder / ("PUpdate-NR2-" + mode + "-" + port);
    fs::create_symlink(BuiltProgram("PelluxUpdateV3"), link);
    return std::make_unique<ChildProcess>(link.string(), std::vector<std::string>{}, env_, "",
                                          folder.string());
  }

 private:
  TempDir dir_;
  ChildProcess sim_;
  bool ready_ = false;
  std::map<std::string, std::string> env_;
};

struct Ending {
  int status;
  std::string output;  // without the line naming the job's log
};

// Runs to its end with input closed: prompts that wait for a key meet the
// end of input.
Ending RunToItsEnd(std::unique_ptr<ChildProcess> job) {
  job->CloseInput();
  const int status = job->Wait(kEnds);
  return {status, WithoutLogLine(job->Output())};
}

// A job waiting for the board's upgrade mode says what it waits for on which
// port; the user then presses Ctrl+C.
Ending RunUntilReminderThenCtrlC(std::unique_ptr<ChildProcess> job, const std::string& extra) {
  const std::string reminder =
      "No upgrade mode announcement ('C') from the control board on COM3 (/dev/";
  const bool reminded = job->WaitForOutput(reminder, kEnds);
  const bool detailed = extra.empty() || job->WaitForOutput(extra, std::chrono::seconds(5));
  job->Signal(SIGINT);
  const int status = job->Wait(kEnds);
  Ending ending{status, WithoutLogLine(job->Output())};
  if (!reminded || !detailed) ending.status = -2;
  return ending;
}

void ExpectError(const Ending& ending, const std::string& line, const std::string& what) {
  EXPECT_EQ(ending.status, 1) << what << "\n" << ending.output;
  EXPECT_NE(ending.output.find(line), std::string::npos) << what << "\n" << ending.output;
  EXPECT_TRUE(EndsWith(ending.output, "Error\n")) << what << "\n" << ending.output;
  // Neither the job's result nor a drive step's own success line.
  for (const char* success : {"\nComplete\n", "\r\nComplete.\r\n", "\r\nSuccess.\r\n"}) {
    EXPECT_EQ(ending.output.find(success), std::string::npos) << what << "\n" << ending.output;
  }
}

void ExpectCancelledAfterReminder(const Ending& ending, const std::string& what) {
  ExpectError(ending, "Cancelled.\r\n", what);
}

void ExpectComplete(const Ending& ending, const std::string& what) {
  EXPECT_EQ(ending.status, 0) << what << "\n" << ending.output;
  EXPECT_TRUE(EndsWith(ending.output, "Complete\n")) << what << "\n" << ending.output;
}

// The servo and step jobs run beside the board's jobs: other lines.
struct DriveJobs {
  std::future<Ending> servo;
  std::future<Ending> step;
};
DriveJobs StartDriveJobs(FaultySim& sim) {
  return {
      std::async(std::launch::async, [&sim] { return RunToItsEnd(sim.Start("Servo", "COM5")); }),
      std::async(std::launch::async, [&sim] { return RunToItsEnd(sim.Start("Step", "COM6")); })};
}
}  // namespace

TEST(FaultMatrix, SilenceEndsEveryJobWithALine) {
  FaultySim sim("silence");
  ASSERT_TRUE(sim.ready()) << sim.Log();
  DriveJobs drives = StartDriveJobs(sim);
  ExpectCancelledAfterReminder(RunUntilReminderThenCtrlC(sim.Start("Firmware", "COM3"), ""),
                               "FIRMWARE");
  ExpectCancelledAfterReminder(RunUntilReminderThenCtrlC(sim.Start("FPGA", "COM3"), ""), "FPGA");
  ExpectError(drives.servo.get(), "No answer from the servo drive on COM5 (/dev/", "SERVO");
  ExpectError(drives.step.get(), "No answer from the step drive on COM6 (/dev/", "STEP");
}

TEST(FaultMatrix, NoiseEndsEveryJobWithALineButAStepReplayTheDriveGot) {
  FaultySim sim("noise");
  ASSERT_TRUE(sim.ready()) << sim.Log();
  DriveJobs drives = StartDriveJobs(sim);
  const std::string garbled = "none of them 'C': line noise";
  ExpectCancelledAfterReminder(RunUntilReminderThenCtrlC(sim.Start("Firmware", "COM3"), garbled),
                               "FIRMWARE");
  // The board now waits in upgrade mode for a selector and answers no reset.
  ExpectCancelledAfterReminder(RunUntilReminderThenCtrlC(sim.Start("FPGA", "COM3"), ""), "FPGA");
  // The drive applied the factory reset, but its acknowledgement never
  // arrives readable: the job cannot know that it was done.
  ExpectError(drives.servo.get(), "No answer from the servo drive on COM5 (/dev/", "SERVO");
  // The step drive hears every message; only the number of reply bytes
  // counts, and that arrives.
  const Ending step = drives.step.get();
  ExpectComplete(step, "STEP");
  EXPECT_NE(step.output.find("\r\nSuccess.\r\n"), std::string::npos) << step.output;
}

TEST(FaultMatrix, AHangUpEndsEveryJobAtOnceWithItsOwnLine) {
  FaultySim sim("hangup");
  ASSERT_TRUE(sim.ready()) << sim.Log();
  DriveJobs drives = StartDriveJobs(sim);
  // The hang-up ends the board's line for good: the FPGA job gets a sim of
  // its own.
  const Ending firmware = RunToItsEnd(sim.Start("Firmware", "COM3"));
  ExpectError(firmware, "The line to COM3 (/dev/", "FIRMWARE");
  // Nobody is asked for a key: the line is gone.
  EXPECT_EQ(firmware.output.find("Press any key"), std::string::npos) << firmware.output;
  ExpectError(drives.servo.get(), "The line to COM5 (/dev/", "SERVO");
  ExpectError(drives.step.get(), "The line to COM6 (/dev/", "STEP");

  FaultySim fpgaSim("hangup");
  ASSERT_TRUE(fpgaSim.ready()) << fpgaSim.Log();
  const Ending fpga = RunToItsEnd(fpgaSim.Start("FPGA", "COM3"));
  ExpectError(fpga, "The line to COM3 (/dev/", "FPGA");
  EXPECT_NE(fpga.output.find("3/"), std::string::npos) << fpga.output;
}

TEST(FaultMatrix, RefusalsEndTheFirmwareJobAndRecoverElsewhere) {
  FaultySim sim("nak");
  ASSERT_TRUE(sim.ready()) << sim.Log();
  DriveJobs drives = StartDriveJobs(sim);
  // Block 2 is refused once and sent again. (First: a failed firmware job
  // leaves the board in its bootloader until its power is cycled.)
  ExpectComplete(RunToItsEnd(sim.Start("FPGA", "COM3")), "FPGA");
  ExpectError(RunToItsEnd(sim.Start("Firmware", "COM3")), "downloading", "FIRMWARE");
  ExpectComplete(drives.servo.get(), "SERVO");
  ExpectComplete(drives.step.get(), "STEP");
}

TEST(FaultMatrix, AVerificationFailureEndsTheFirmwareJobOnly) {
  FaultySim sim("verify");
  ASSERT_TRUE(sim.ready()) << sim.Log();
  DriveJobs drives = StartDriveJobs(sim);
  ExpectComplete(RunToItsEnd(sim.Start("FPGA", "COM3")), "FPGA");
  ExpectError(RunToItsEnd(sim.Start("Firmware", "COM3")), "verifying", "FIRMWARE");
  ExpectComplete(drives.servo.get(), "SERVO");
  ExpectComplete(drives.step.get(), "STEP");
}
