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
  bool valid = false;    // first dash piece of name is "PUPDATE"
};

JobSpec ParseJobSpec(const std::string& text);

// The mode's banner label ("Update ", "", "Install ", "Drive Setting"), or
// false for a mode that RunJob does not perform.
bool BannerLabel(const std::string& mode, std::string& label);

}  // namespace pellux
