// The flash loader's argument interpreter over any argument list (one text a
// line). No device can be opened: every port name is replaced by one that
// names nothing, so no real tty is ever touched. Key prompts always get a
// key, as from a pipe that never ends. Every run ends, with a known code and
// the port closed.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "flash/BootloaderLink.h"
#include "flash/FlashLoader.h"
#include "flash/FlashLoaderTokens.h"

using namespace pellux;

namespace {

constexpr char kNoPort[] = "pupdate-fuzz-no-port";
// Line changes and protection steps each sleep 100 ms; more make slow inputs.
constexpr int kMaxSleepingSteps = 3;

const char kMap[] =
    "[Product]\nPacketSize=80\nPagesPerSector=4\n"
    "[Page0]\nIndex=000\nAddress=08000000\nSize=800\nType=111\n"
    "[Page1]\nIndex=001\nAddress=08000800\nSize=800\nType=111\n";
const char kHex[] = ":020000040800F2\n:0400000001020304F2\n:00000001FF\n";

std::vector<std::string> Texts(const uint8_t* data, size_t size) {
  std::vector<std::string> texts{"FlashLoader"};
  std::string text;
  for (size_t i = 0; i <= size; ++i) {
    if (i == size || data[i] == '\n') {
      texts.push_back(text);
      text.clear();
    } else {
      text += static_cast<char>(data[i]);
    }
  }
  return texts;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  unsetenv("PUPDATE_PORT_MAP");
  static FuzzTempDir workDir;
  WriteBytes(workDir.path() / "board.map", reinterpret_cast<const uint8_t*>(kMap), sizeof kMap - 1);
  WriteBytes(workDir.path() / "image.hex", reinterpret_cast<const uint8_t*>(kHex), sizeof kHex - 1);
  std::filesystem::current_path(workDir.path());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  std::vector<std::string> texts = Texts(data, size);
  int sleepingSteps = 0;
  for (size_t i = 1; i < texts.size(); ++i) {
    const std::string& text = texts[i];
    if (text == "--Hi" || text == "--Lo" || text == "--erp" || text == "--drp" || text == "--ewp" ||
        text == "--dwp")
      ++sleepingSteps;
    const bool value = !IsFlashLoaderOption(text) && !IsFlashLoaderSubOption(text);
    if (value && texts[i - 1] == "--pn") texts[i] = kNoPort;
  }
  if (sleepingSteps > kMaxSleepingSteps) return 0;
  std::vector<const char*> argv;
  for (const std::string& text : texts) argv.push_back(text.c_str());

  QuietConsole console('y');
  ActiveConsoleScope scope(console);
  const int code = runFlashLoader(static_cast<int>(argv.size()), argv.data());
  FUZZ_CHECK(code == 0 || code == 1 || code == -1, "the exit code is 0, 1 or -1");
  FUZZ_CHECK(!TheBootloaderLink().isPortOpen(), "the port is closed at the end");
  FUZZ_CHECK(code == 0 || !console.Output().empty(), "a failure says what happened");
  FUZZ_CHECK(console.Prompts() <= 64, "key prompts are bounded, whatever the input");
  return 0;
}
