#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "JobOutput.h"
#include "ScopedEnv.h"
#include "TestFiles.h"
#include "VirtualServoDrive.h"
#include "base/Cancellation.h"
#include "serial/CRS232.h"
#include "serial/SerialCommunication.h"

using namespace pellux;

// A port that cannot be had says which port, which device and why; a port
// in use is refused instead of shared.
namespace {
namespace fs = std::filesystem;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

struct ServoJob {
  int status;
  std::string output;
};

// Runs a local servo job on COM5; `asNobody` drops root first, as a user
// without access to the port would run it.
ServoJob RunServoJob(const TempDir& dir, const std::string& portMap, bool asNobody) {
  WriteFile(dir / "servo.txt", "P0-01=2 // mode\n");
  const std::string link = dir / "PUpdate-NR2-Servo-COM5";
  if (!fs::exists(link)) fs::create_symlink(BuiltProgram("PelluxUpdateV3"), link);
  std::vector<std::string> args = {dir / "servo.txt", "local"};
  std::string program = link;
  if (asNobody) {
    args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", link});
    program = "/usr/bin/setpriv";
  }
  ChildProcess job(program, args,
                   {{"PUPDATE_PORT_MAP", portMap}, {"PUPDATE_LOG_DIR", dir.path().string()}}, "",
                   dir.path().string());
  job.CloseInput();
  const int status = job.Wait();
  return {status, WithoutLogLine(job.Output())};
}
}  // namespace

TEST(PortOpenFailure, APortInUseIsRefusedWhileTheDeviceSideStillWorks) {
  VirtualServoDrive drive;
  drive.Start();
  ScopedEnv portMap("PUPDATE_PORT_MAP", "COM5=" + drive.PortPath());
  const CancelToken cancel;
  SerialCommunication first(cancel);
  SerialSettings settings;
  settings.portName = "COM5";
  settings.baudRate = 9600;
  first.Configure(settings);
  ASSERT_TRUE(first.Open());

  SerialCommunication second(cancel);
  second.Configure(settings);
  EXPECT_FALSE(second.Open());
  EXPECT_EQ(second.OpenFailure(), "Port COM5 (" + drive.PortPath() +
                                      "): in use by another program or job; close it and try "
                                      "again.");
  CRS232 bootloaderPort(cancel);
  bootloaderPort.portName = "COM5";
  EXPECT_FALSE(bootloaderPort.Open());
  EXPECT_TRUE(Contains(bootloaderPort.OpenFailure(), "in use by another program or job"));

  // The twin's side of the pseudo-terminal is not affected: the factory
  // reset reaches the drive, which answers it.
  const std::string reset =
      "\x02"
      "01#ETC12:D\x03";
  EXPECT_TRUE(first.Write(reset.data(), reset.size()));
  EXPECT_TRUE(drive.WaitForAnswers(1));
  EXPECT_EQ(drive.FactoryResets(), 1);

  // A job on the same port is refused with both lines.
  TempDir dir;
  const ServoJob job = RunServoJob(dir, "COM5=" + drive.PortPath(), false);
  EXPECT_EQ(job.status, 1) << job.output;
  EXPECT_TRUE(Contains(job.output, "commCSD port open failed. ( COM5 )\r\nPort COM5 (" +
                                       drive.PortPath() + "): in use by another program or job"))
      << job.output;

  // Once closed, the port is free again (the exclusive mode left with it).
  first.Close();
  ASSERT_TRUE(second.Open()) << second.OpenFailure();
  second.Close();
  ASSERT_TRUE(bootloaderPort.Open()) << bootloaderPort.OpenFailure();
}

TEST(PortOpenFailure, AMissingDeviceAndAnUnknownNameSaySo) {
  ScopedEnv portMap("PUPDATE_PORT_MAP", "COM7=/dev/pupdate-no-such-device");
  const CancelToken cancel;
  SerialCommunication port(cancel);
  SerialSettings settings;
  settings.portName = "COM7";
  port.Configure(settings);
  EXPECT_FALSE(port.Open());
  EXPECT_EQ(port.OpenFailure(),
            "Port COM7 (/dev/pupdate-no-such-device): no such device; check the cable and "
            "PUPDATE_PORT_MAP.");
  settings.portName = "COM9";
  port.Configure(settings);
  EXPECT_FALSE(port.Open());
  EXPECT_TRUE(Contains(port.OpenFailure(), "Port COM9: no such device")) << port.OpenFailure();
}

TEST(PortOpenFailure, APortWithoutPermissionNamesTheDialoutGroup) {
  VirtualServoDrive drive;
  drive.Start();
  ASSERT_EQ(::chmod(drive.PortPath().c_str(), 0600), 0);
  TempDir dir;
  // Root opens any device: the job then runs as nobody, as a user would.
  const bool asNobody = ::geteuid() == 0;
  if (asNobody) ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
  const ServoJob job = RunServoJob(dir, "COM5=" + drive.PortPath(), asNobody);
  EXPECT_EQ(job.status, 1) << job.output;
  EXPECT_TRUE(Contains(job.output, "commCSD port open failed. ( COM5 )\r\nPort COM5 (" +
                                       drive.PortPath() +
                                       "): permission denied; join the dialout group"))
      << job.output;
}
