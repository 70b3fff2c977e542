// ZIP item names: whatever an archive stores, the cleaned name stays below
// the installation folder, and cleaning a clean name changes nothing.
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "jobs/ZipItemName.h"

using namespace pellux;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view stored(reinterpret_cast<const char*>(data), size);
  const std::string cleaned = CleanZipItemName(stored);

  FUZZ_CHECK(CleanZipItemName(cleaned) == cleaned, "cleaning is idempotent");
  FUZZ_CHECK(cleaned.find('\\') == std::string::npos, "components are joined with '/'");
  FUZZ_CHECK(cleaned.empty() || (cleaned.front() != '/' && cleaned.back() != '/'),
             "no leading or trailing separator");
  FUZZ_CHECK(cleaned.size() < 2 || cleaned[1] != ':', "no drive prefix");
  size_t start = 0;
  while (start <= cleaned.size() && !cleaned.empty()) {
    size_t end = cleaned.find('/', start);
    if (end == std::string::npos) end = cleaned.size();
    const std::string_view component = std::string_view(cleaned).substr(start, end - start);
    FUZZ_CHECK(!component.empty(), "no empty component");
    FUZZ_CHECK(component != "." && component != "..", "no dot component");
    start = end + 1;
  }
  FUZZ_CHECK(cleaned.size() <= stored.size(), "cleaning never adds to a name");
  return 0;
}
