#include "boards/ProtocolImitation.h"

#include <cstdlib>

#include "base/Cancellation.h"
#include "base/JobConsole.h"
#include "boards/ImitationComm.h"

namespace pellux {

int RunImitation(const std::vector<std::string>& arguments, const CancelToken& cancel,
                 JobConsole& console) {
  ImitationComm imitation(cancel, console);
  if (arguments.size() < 3) {
    console.Write("Usage : [Record File] [Slave commImi Port] [Baudrate]\r\n");
    return 0;
  }
  const std::string& recordPath = arguments[0];
  const std::string& portName = arguments[1];
  console.Printf("Protocol Imitation %s\r\n\r\n", "V1.0");
  console.Printf("Record File : %s\r\n\r\n", recordPath.c_str());

  SerialSettings settings;
  settings.portName = portName;
  settings.baudRate = std::atoi(arguments[2].c_str());
  imitation.Configure(settings);

  switch (imitation.LoadRecordFile(recordPath)) {
    case ImitationComm::LoadResult::Loaded:
      break;
    case ImitationComm::LoadResult::OpenFailed:
      console.Printf("Record file open failed. (%s)", recordPath.c_str());
      return 0;
    case ImitationComm::LoadResult::Unplayable:
      // Such a replay could never end; refuse it before touching the drive.
      console.Printf("Record file cannot be replayed: %s. (%s)\r\n", imitation.Problem().c_str(),
                     recordPath.c_str());
      return 0;
  }

  if (!imitation.Open()) {
    console.Printf("commImi port open failed. ( %s )\r\n", portName.c_str());
    console.Write(imitation.OpenFailure() + "\r\n");
    return 0;
  }
  console.Write("Send Record file data.\r\n");
  imitation.SendNextMaster();
  if (!imitation.WaitUntilReplayed()) return 0;

  console.Write("\r\nSuccess.\r\n");
  imitation.Close();
  return 1;
}

int RunImitation(const std::vector<std::string>& arguments) {
  return RunImitation(arguments, JobCancellation(), ActiveConsole());
}

}  // namespace pellux
