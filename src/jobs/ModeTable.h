#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pellux {

class CancelToken;
class JobConsole;
struct JobSpec;

// Performs a job's update step on its file; true on success. The step talks
// to `console` and ends once `cancel` is cancelled.
using UpdateStepFunction = std::function<bool(const JobSpec& job, const std::string& file,
                                              const CancelToken& cancel, JobConsole& console)>;

// Everything that differs by job mode, one row per mode.
struct JobMode {
  std::string word;           // in job specifications, upper case ("FIRMWARE")
  std::string dialogWord;     // what a Mode radio button puts in a job specification ("" none)
  bool performed = false;     // RunJob performs it (the others are only listed)
  std::string bannerLabel;    // "[ <word> <label>mode ]"
  std::string listMode;       // the mode's folder on the server
  bool sharedFolder = false;  // its server folder belongs to no machine (ETC)
  bool downloadedWithMachine = false;  // Download Online Files fetches it
  std::string localFileFilter;         // Local Update's open-file filter
  UpdateStepFunction step;             // what performs it
};

using ModeTable = std::vector<JobMode>;

// The program's own table, in the order Download Online Files walks it.
const ModeTable& ProgramModes();

// The row of an upper-case mode word in the table in force; null for none.
// The row is a copy, safe while tests swap the table.
std::unique_ptr<JobMode> FindMode(const std::string& word);
// Every row of the table in force.
ModeTable CurrentModes();

// Puts `table` in force (tests replace steps this way); returns the one it
// replaced. An empty table puts the program's own back.
ModeTable InstallModeTable(ModeTable table);

}  // namespace pellux
