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

int RunDriveSetting(const std::vector<std::string>& arguments) {
  CSDSeriesComm drive;
  if (arguments.size() < 3) {
    ConsoleWrite("Usage : [Setup File] [Slave Comm Port] [Baudrate]\r\n");
    return 0;
  }
  const std::string& settingPath = arguments[0];
  const std::string& portName = arguments[1];
  ConsolePrintf("RS CSD Series Setting Program %s\r\n\r\n", "V1.0");

  SettingTable table;
  if (!LoadSettingFile(settingPath, table)) return 0;

  ConsoleWrite("\r\n");
  SerialSettings settings;
  settings.portName = portName;
  settings.baudRate = std::atoi(arguments[2].c_str());
  drive.Configure(settings);
  if (!drive.Open()) {
    ConsolePrintf("commCSD port open failed. ( %s )\r\n", portName.c_str());
    ConsoleWrite(drive.OpenFailure() + "\r\n");
    return 0;
  }

  ConsoleWrite("CSD Drive factory reset.\r\n");
  if (!drive.SendDriveCommand("ETC", "12", "")) return 0;
  ConsoleWrite("Wait for factory reset\r\n\r\n");
  if (!CancellableSleep(1000)) return 0;
  ConsoleWrite("To Cancel setting process, Press Ctrl + C.\r\n\r\n");

  for (size_t i = 0; i < table.names.size(); ++i) {
    if (table.names[i] == kAutoTuningName) {
      ConsoleWrite("Servo Drive Auto Tunning.\r\n");
      if (!drive.SendDriveCommand("TAT", "01", "")) return 0;
      break;
    }
    ConsolePrintf("Param %s -> %s (%s) ", table.names[i].c_str(), table.values[i].c_str(),
                  table.descriptions[i].c_str());
    if (!drive.SendDriveCommand("STR", table.names[i], table.values[i])) return 0;
  }

  ConsoleWrite("\r\nComplete.\r\n");
  drive.Close();
  return 1;
}

}  // namespace pellux
