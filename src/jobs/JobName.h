#pragma once

#include <string>

namespace pellux {

// A parsed job specification such as "PUpdate-NR2-Firmware-COM3.exe".
struct JobSpec {
  std::string name;             // file part up to its first '.', upper case
  std::string machine = "APB";  // machine key
  std::string mode = "FPGA";    // upper case
  std::string port = "com1";
  std::string listMode;  // mode in server paths: INITIALIZE lists as FIRMWARE
  // The first dash piece of name is "PUPDATE" and there are at most four
  // pieces: a longer name (Explorer's "PUpdate-NR2-Servo-COM5 - Copy.exe")
  // would otherwise run the defaults' job on the defaults' port.
  bool valid = false;
};

JobSpec ParseJobSpec(const std::string& text);

// For a specification that is not valid, the line that says why and what to
// do (no line end); empty for a valid one.
std::string JobNameProblem(const std::string& text);

// The mode's banner label ("Update ", "", "Install ", "Drive Setting"), or
// false for a mode that RunJob does not perform.
bool BannerLabel(const std::string& mode, std::string& label);

}  // namespace pellux
