#pragma once

#include <map>
#include <memory>
#include <string>

namespace pellux {

// Machine keys that steer the main dialog instead of being passed to a job.
inline constexpr const char* kKeyNone = "NONE";
inline constexpr const char* kKeyCustom = "CUSTOM";
inline constexpr const char* kKeyLocal = "Local";

// The catalogue of machines: display name -> machine key, ordered by the
// byte-wise comparison of the names. One per process, filled by the main
// dialog at start; used from the user-interface thread only.
class MachineList {
 public:
  static std::shared_ptr<MachineList> GetInstance();

  // A later entry with the same display name replaces the key.
  void Store(const std::string& displayName, const std::string& key);
  // The key of a display name. An empty catalogue answers from the built-in
  // table; a filled one only from its entries (unknown names: empty key).
  std::string GetMachineKey(const std::string& displayName) const;
  // True when the first entry in name order has the key "Local".
  bool IsLocalMode() const;
  bool IsEmpty() const { return machines_.empty(); }
  // Empties the catalogue before the dialog fills it.
  void Clear() { machines_.clear(); }

 private:
  std::map<std::string, std::string> machines_;
};

// The key of a built-in machine name (exact, case-sensitive), or empty.
std::string BuiltInMachineKey(const std::string& displayName);

}  // namespace pellux
