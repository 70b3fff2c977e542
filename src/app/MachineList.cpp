#include "app/MachineList.h"

#include <utility>

namespace pellux {

std::shared_ptr<MachineList> MachineList::GetInstance() {
  static const std::shared_ptr<MachineList> instance = std::make_shared<MachineList>();
  return instance;
}

void MachineList::Store(const std::string& displayName, const std::string& key) {
  machines_[displayName] = key;
}

std::string MachineList::GetMachineKey(const std::string& displayName) const {
  if (machines_.empty()) return BuiltInMachineKey(displayName);
  const auto found = machines_.find(displayName);
  return found == machines_.end() ? std::string() : found->second;
}

bool MachineList::IsLocalMode() const {
  return !machines_.empty() && machines_.begin()->second == kKeyLocal;
}

std::string BuiltInMachineKey(const std::string& displayName) {
  static const std::pair<const char*, const char*> kTable[] = {
      {"Alpha Profile Bender", "APB"},
      {"New Alpha Profile Bender", "NEWAPB"},
      {"KRB Bender", "KRB"},
      {"Beta Profile Bender", "BPB"},
      {"New Gamma Profile Bender (Delta Strip Bender)", "NEWGAM"},
      {"Gamma Profile Bender", "GAM"},
      {"New R2 Bender", "NR2"},
      {"R1 Bender", "R1"},
      {"R1 Bender with Puncher Selector", "R1PS"},
      {"Strip Trimmer", "STRIPTRIMMER"},
      {"Plain Rim", "PLAINRIM"},
      {"Profile Notcher", "PROFILENOTCHER"},
  };
  for (const auto& [name, key] : kTable) {
    if (displayName == name) return key;
  }
  return {};
}

}  // namespace pellux
