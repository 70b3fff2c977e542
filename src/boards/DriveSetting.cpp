#include "boards/DriveSetting.h"

#include <cstdlib>

#include "base/Cancellation.h"
#include "base/JobConsole.h"
#include "boards/CSDSeriesComm.h"
#include "boards/SettingFile.h"

namespace pellux {

namespace {

// The name by which a setting file asks for the drive's auto-tuning; nothing
// after it is sent.
const char kAutoTuningName[] = "999";

}  // namespace

int RunDriveSetting(const std::vector<std::string>& arguments, const CancelToken& cancel,
                    JobConsole& console) {
  CSDSeriesComm drive(cancel, console);
  if (arguments.size() < 3) {
    console.Write("Usage : [Setup File] [Slave Comm Port] [Baudrate]\r\n");
    return 0;
  }
  const std::string& settingPath = arguments[0];
  const std::string& portName = arguments[1];
  console.Printf("RS CSD Series Setting Program %s\r\n\r\n", "V1.0");

  SettingTable table;
  if (!LoadSettingFile(settingPath, table, console)) return 0;

  console.Write("\r\n");
  SerialSettings settings;
  settings.portName = portName;
  settings.baudRate = std::atoi(arguments[2].c_str());
  drive.Configure(settings);
  if (!drive.Open()) {
    console.Printf("commCSD port open failed. ( %s )\r\n", portName.c_str());
    console.Write(drive.OpenFailure() + "\r\n");
    return 0;
  }

  console.Write("CSD Drive factory reset.\r\n");
  if (!drive.SendDriveCommand("ETC", "12", "")) return 0;
  console.Write("Wait for factory reset\r\n\r\n");
  if (!cancel.SleepFor(std::chrono::milliseconds(1000))) return 0;
  console.Write("To Cancel setting process, Press Ctrl + C.\r\n\r\n");

  for (size_t i = 0; i < table.names.size(); ++i) {
    if (table.names[i] == kAutoTuningName) {
      console.Write("Servo Drive Auto Tunning.\r\n");
      if (!drive.SendDriveCommand("TAT", "01", "")) return 0;
      break;
    }
    console.Printf("Param %s -> %s (%s) ", table.names[i].c_str(), table.values[i].c_str(),
                   table.descriptions[i].c_str());
    if (!drive.SendDriveCommand("STR", table.names[i], table.values[i])) return 0;
  }

  console.Write("\r\nComplete.\r\n");
  drive.Close();
  return 1;
}

int RunDriveSetting(const std::vector<std::string>& arguments) {
  return RunDriveSetting(arguments, JobCancellation(), ActiveConsole());
}

}  // namespace pellux
