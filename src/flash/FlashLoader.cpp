#include "flash/FlashLoader.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Cancellation.h"
#include "base/FormatText.h"
#include "base/Ini.h"
#include "base/JobConsole.h"
#include "base/ProgramLocation.h"
#include "flash/BootloaderLink.h"
#include "flash/FlashLoaderTokens.h"
#include "flash/OptionBytes.h"
#include "images/DeviceMap.h"
#include "images/FirmImage.h"
#include "images/ImageFormat.h"

namespace pellux {

namespace {
constexpr int kSettleMs = 100;
constexpr int kConnectTimeoutMs = 1000;
// A prompt fed by endless input (a pipe from `yes`, /dev/zero) would
// otherwise restart the activation for ever.
constexpr int kMaxActivationRestarts = 5;

// How one pass over the argument list ended.
enum class Outcome { Done, Failed, RoutineUnloadable, Restart };

struct SubOption {
  std::string name;
  std::vector<std::string> values;
};

// What a sub-option takes after it.
enum class Arity { None, One, OptionalOne, Counted };

// What its value must be.
enum class Kind { Text, Address, Byte };

struct Grammar {
  const char* name;
  Arity arity;
  Kind kind = Kind::Text;
};

// The sub-options each option accepts.
std::vector<Grammar> GrammarOf(const std::string& option) {
  if (option == "-c")
    return {{"--pn", Arity::One}, {"--br", Arity::One}, {"--db", Arity::One},
            {"--pr", Arity::One}, {"--sb", Arity::One}, {"--to", Arity::One},
            {"--ec", Arity::One}, {"--co", Arity::One}, {"--lcs", Arity::None}};
  if (option == "-e") return {{"--all", Arity::None}, {"--sec", Arity::Counted}};
  if (option == "-u") return {{"--fn", Arity::One}};
  if (option == "-d")
    return {{"--a", Arity::One, Kind::Address},
            {"--fn", Arity::One},
            {"--v", Arity::None},
            {"--o", Arity::None}};
  if (option == "-r") return {{"--a", Arity::OptionalOne, Kind::Address}};
  if (option == "-p")
    return {{"--erp", Arity::None},
            {"--drp", Arity::None},
            {"--ewp", Arity::Counted},
            {"--dwp", Arity::None}};
  if (option == "-o")
    return {{"--get", Arity::None},
            {"--set", Arity::None},
            {"--fn", Arity::One},
            {"--vals", Arity::None},
            {"--RDP", Arity::One, Kind::Byte},
            {"--User", Arity::One, Kind::Byte},
            {"--Data0", Arity::One, Kind::Byte},
            {"--Data1", Arity::One, Kind::Byte},
            {"--WRP0", Arity::One, Kind::Byte},
            {"--WRP1", Arity::One, Kind::Byte},
            {"--WRP2", Arity::One, Kind::Byte},
            {"--WRP3", Arity::One, Kind::Byte}};
  return {};
}

// Splits the texts after an option into its sub-options; the offending text
// when one does not fit. Hexadecimal values are checked here, before the
// option acts on any of them.
std::optional<std::string> ParseSubOptions(const std::string& option,
                                           const std::vector<std::string>& args,
                                           std::vector<SubOption>& out) {
  const std::vector<Grammar> grammar = GrammarOf(option);
  for (size_t i = 0; i < args.size();) {
    const std::string& text = args[i];
    const auto rule = std::find_if(grammar.begin(), grammar.end(),
                                   [&](const Grammar& g) { return text == g.name; });
    if (rule == grammar.end()) return text;
    SubOption sub{text, {}};
    ++i;
    auto takeValue = [&]() {
      if (i >= args.size() || !IsFlashLoaderValue(args[i])) return false;
      sub.values.push_back(args[i++]);
      return true;
    };
    switch (rule->arity) {
      case Arity::None:
        break;
      case Arity::One:
        if (!takeValue()) return text;
        break;
      case Arity::OptionalOne:
        takeValue();
        break;
      case Arity::Counted: {
        if (!takeValue()) return text;
        const uint32_t count = ParseDecimal(sub.values[0]);
        for (uint32_t n = 0; n < count; ++n)
          if (!takeValue()) return text;
        break;
      }
    }
    if (rule->kind != Kind::Text && !sub.values.empty() &&
        !ParseHex(sub.values[0], rule->kind == Kind::Byte ? 0xFF : 0xFFFFFFFF))
      return sub.values[0];
    out.push_back(std::move(sub));
  }
  return std::nullopt;
}

// The value of a sub-option that ParseSubOptions has checked.
uint32_t HexValue(const SubOption& sub) {
  return ParseHex(sub.values.at(0)).value_or(0);
}

// The directory of the running program, with its trailing separator.
std::string ProgramDirectory() {
  const auto exe = RunningProgramPath();
  if (exe.empty()) return "./";
  return exe.parent_path().string() + "/";
}

// The map of device `name`: the current folder's first (a job writes its map
// there), then the maps shipped with the program, beside it (the Windows
// install folder, the portable folder) or in the data folder of an install
// under a prefix (<prefix>/bin/FlashLoader, <prefix>/share/pelluxupdate/maps).
std::string DeviceMapPath(const std::string& name) {
  const std::string file = name + ".map";
  const std::string current = "./" + file;
  std::error_code error;
  if (std::filesystem::is_regular_file(current, error)) return current;
  const std::string program = ProgramDirectory();
  for (const std::string& candidate :
       {program + file, program + "../share/pelluxupdate/maps/" + file}) {
    if (std::filesystem::is_regular_file(candidate, error)) return candidate;
  }
  return current;
}

// Hands the link a run's token for as long as the run lasts.
class LinkCancellation {
 public:
  LinkCancellation(BootloaderLink& link, const CancelToken& cancel)
      : link_(link), previous_(link.cancellation()) {
    link_.setCancellation(cancel);
  }
  ~LinkCancellation() { link_.setCancellation(previous_); }
  LinkCancellation(const LinkCancellation&) = delete;
  LinkCancellation& operator=(const LinkCancellation&) = delete;

 private:
  BootloaderLink& link_;
  const CancelToken& previous_;
};

// What a -d step downloads, from the run's settings and its sub-options.
struct DownloadRequest {
  std::string fileName;
  uint32_t address = 0;
  bool verify = false;
  bool optimise = false;
};

// One pass over the argument list with fresh settings.
class FlashLoaderRun {
 public:
  FlashLoaderRun(int count, const char* const* texts, BootloaderLink& link,
                 const CancelToken& cancel, JobConsole& console)
      : link_(link), cancel_(cancel), console_(console) {
    for (int i = 0; i < count; ++i) texts_.emplace_back(texts[i] ? texts[i] : "");
  }

  Outcome Execute();

 private:
  // A result line; a KO makes the whole run a failure even where the run
  // goes on.
  void ResultLine(const char* text, bool ok);
  void TransferLine(const char* text, size_t index, uint32_t address, uint32_t size, bool ok);
  // Closes the port and, unless the job was stopped or the line hung up,
  // waits for a key.
  Outcome Fail();
  // After a failed transfer: prints why when the target went quiet or the
  // line hung up; false when neither happened.
  bool ShowLineProblem();
  Outcome BadParameter(const std::string& text);
  Outcome Connect(const std::vector<SubOption>& subs);
  Outcome SetLine(const std::string& option, const std::vector<std::string>& args);
  Outcome Activate(const std::string& name);
  Outcome CheckRoutineFile();
  Outcome Erase(const std::vector<SubOption>& subs);
  Outcome CheckLaterDownload();
  Outcome Upload(const std::vector<SubOption>& subs);
  DownloadRequest RequestOf(const std::vector<SubOption>& subs) const;
  bool DownloadFileExists(const std::string& fileName);
  Outcome LoadDownloadImage(const DownloadRequest& request, std::unique_ptr<CFirmImage>& image);
  Outcome Download(const std::vector<SubOption>& subs);
  Outcome Run(const std::vector<SubOption>& subs);
  Outcome Protect(const std::vector<SubOption>& subs);
  Outcome OptionBytes(const std::vector<SubOption>& subs);
  bool WritableImageName(const std::string& fileName);
  bool Settle() { return cancel_.SleepFor(std::chrono::milliseconds(kSettleMs)); }
  bool PressAnyKey();
  void Resynchronise();
  void ReopenAndResynchronise();
  bool HaveMap();
  void ClosePortIfOpen() {
    if (link_.isPortOpen()) link_.closePort();
  }

  BootloaderLink& link_;
  const CancelToken& cancel_;
  JobConsole& console_;
  std::vector<std::string> texts_;
  // Position of the first text after the option being executed.
  size_t next_ = 1;
  bool stepFailed_ = false;
  bool lineProblemShown_ = false;
  // Settings, at their defaults.
  int portNumber_ = 1;
  std::string portName_;
  int baudRate_ = 57600;
  int dataBits_ = 8;
  int parity_ = 2;
  float stopBits_ = 1.0f;
  int echoMode_ = 0;
  bool lineControl_ = false;
  int timeoutMs_ = 5000;
  std::string mapPath_;
  std::optional<DeviceMap> map_;
  uint32_t address_ = 0;
  bool verify_ = false;
  bool optimise_ = false;
  std::string fileName_;
  uint32_t optionBase_ = kOptionBytesF1;
  bool erased_ = false;
  uint8_t version_ = 0;
};

// Prints the prompt and waits for one key; false at the end of input or
// once cancelled.
bool FlashLoaderRun::PressAnyKey() {
  console_.Write("\n Press any key to continue ...\n");
  return console_.ReadKey(cancel_) != -1;
}

void FlashLoaderRun::ResultLine(const char* text, bool ok) {
  if (!ok) stepFailed_ = true;
  console_.Printf(ok ? "%s \t\t\t\t [OK] \n" : "%s \t\t\t\t [KO] \n", text);
}

void FlashLoaderRun::TransferLine(const char* text, size_t index, uint32_t address, uint32_t size,
                                  bool ok) {
  if (index == 0 && address == 0 && size == 0) return ResultLine(text, ok);
  if (!ok) stepFailed_ = true;
  console_.Printf(ok ? "%s \t page %i \t @0x %8X \t size %.2f(KB) \t [OK] \n"
                     : "%s \t page %i \t @0x %8X \t size %.2f(KB) \t [KO] \n",
                  text, int(index), address, size / 1024.0);
}

Outcome FlashLoaderRun::Fail() {
  const bool hungUp = link_.isPortOpen() && link_.lineHungUp();
  if (hungUp && !lineProblemShown_) console_.Write(link_.lineProblemText());
  ClosePortIfOpen();
  // A stopped job has nobody to wait for, a line that hung up nothing to
  // wait for: the job ends at once.
  if (!cancel_.IsCancelled() && !hungUp) PressAnyKey();
  return Outcome::Failed;
}

bool FlashLoaderRun::ShowLineProblem() {
  const std::string problem = link_.lineProblemText();
  if (problem.empty()) return false;
  console_.Write(problem);
  lineProblemShown_ = true;
  return true;
}

Outcome FlashLoaderRun::BadParameter(const std::string& text) {
  console_.Printf("bad parameter [%s] \n", text.c_str());
  return Fail();
}

Outcome FlashLoaderRun::Execute() {
  size_t i = 1;
  while (i < texts_.size()) {
    if (cancel_.IsCancelled()) return Fail();
    const std::string option = texts_[i++];
    if (!IsFlashLoaderOption(option)) {
      // Every position holds an option; the list ends here, as a failure.
      console_.Printf("bad parameter [%s] \n", option.c_str());
      ClosePortIfOpen();
      return Outcome::Failed;
    }
    if (option == "-?") {
      printFlashLoaderUsage(console_);
      break;
    }
    // -v takes nothing; the next position must hold an option again.
    if (option == "-v") continue;

    Outcome outcome = Outcome::Done;
    if (option == "-i") {
      // Exactly one value, the device name.
      if (i >= texts_.size() || IsFlashLoaderOption(texts_[i])) return BadParameter(option);
      if (!IsFlashLoaderValue(texts_[i])) return BadParameter(texts_[i]);
      next_ = i + 1;
      outcome = Activate(texts_[i++]);
    } else {
      std::vector<std::string> args;
      for (; i < texts_.size() && !IsFlashLoaderOption(texts_[i]); ++i) args.push_back(texts_[i]);
      next_ = i;
      if (option == "-Rts" || option == "-Dtr") {
        outcome = SetLine(option, args);
      } else {
        std::vector<SubOption> subs;
        if (auto bad = ParseSubOptions(option, args, subs)) return BadParameter(*bad);
        if (option == "-c") outcome = Connect(subs);
        if (option == "-e") outcome = Erase(subs);
        if (option == "-u") outcome = Upload(subs);
        if (option == "-d") outcome = Download(subs);
        if (option == "-r") outcome = Run(subs);
        if (option == "-p") outcome = Protect(subs);
        if (option == "-o") outcome = OptionBytes(subs);
      }
    }
    if (outcome != Outcome::Done) return outcome;
  }
  ClosePortIfOpen();
  return stepFailed_ ? Outcome::Failed : Outcome::Done;
}

Outcome FlashLoaderRun::Connect(const std::vector<SubOption>& subs) {
  for (const SubOption& sub : subs) {
    const std::string value = sub.values.empty() ? "" : sub.values[0];
    if (sub.name == "--pn") {
      // A number n is COMn; anything else names the port itself.
      if (!value.empty() && std::isdigit(static_cast<unsigned char>(value[0]))) {
        portNumber_ = int(ParseDecimal(value));
        portName_.clear();
      } else {
        portNumber_ = 1;
        portName_ = value;
      }
    }
    if (sub.name == "--br") baudRate_ = int(ParseDecimal(value));
    if (sub.name == "--db") dataBits_ = int(ParseDecimal(value));
    if (sub.name == "--pr") parity_ = ParseParity(value);
    if (sub.name == "--sb") stopBits_ = ParseFraction(value);
    if (sub.name == "--to") timeoutMs_ = int(ParseDecimal(value));
    if (sub.name == "--ec") echoMode_ = ParseEchoMode(value);
    if (sub.name == "--co") lineControl_ = ParseOnOff(value);
  }
  link_.clearTargetInfo();
  if (!link_.isPortOpen()) link_.setPortName(portName_);
  link_.setPortSettings(portNumber_, baudRate_, dataBits_, parity_, stopBits_);
  link_.setLineControl(lineControl_);
  const uint8_t opened = link_.openPort();
  link_.setTimeout(kConnectTimeoutMs);
  if (opened != linkresult::kOk && opened != linkresult::kAlreadyOpen) {
    ResultLine("Opening Port", false);
    console_.Write("Cannot open the com port, the port may \n be used by another application \n");
    if (!link_.openFailureText().empty()) console_.Write(link_.openFailureText() + "\n");
    return Fail();
  }
  ResultLine("Opening Port", true);
  link_.setEchoMode(echoMode_);
  return Outcome::Done;
}

Outcome FlashLoaderRun::SetLine(const std::string& option, const std::vector<std::string>& args) {
  const bool rts = option == "-Rts";
  for (size_t i = 0; i < args.size(); ++i) {
    // "--Hi" and "--Lo", or "--State Hi" and "--State Lo" as the usage shows.
    std::string state = args[i];
    if (state == "--State" && i + 1 < args.size() && (args[i + 1] == "Hi" || args[i + 1] == "Lo"))
      state = "--" + args[++i];
    if (state == "--Hi" || state == "--Lo") {
      const bool on = state == "--Hi";
      ResultLine(
          rts ? (on ? "Set Rts line" : "Reset Rts line") : (on ? "Set Dtr line" : "Reset Dtr line"),
          true);
      rts ? link_.setRts(on) : link_.setDtr(on);
      if (!Settle()) return Fail();
      continue;
    }
    ResultLine(rts ? "bad parameter [Set Rts line] should be Hi or Lo "
                   : "bad parameter [Set Dtr line] should be Hi or Lo ",
               false);
    return BadParameter(state == "--State" && i + 1 < args.size() ? args[i + 1] : state);
  }
  return Outcome::Done;
}

Outcome FlashLoaderRun::Activate(const std::string& name) {
  const std::string path = DeviceMapPath(name);
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    console_.Printf("This version is not intended to support the <%s> target\n", name.c_str());
    return Fail();
  }
  uint16_t sectorCount = 0, packetSize = 0x100;
  uint8_t pagesPerSector = 0;
  DeviceMap map;
  if (readDeviceMap(path, sectorCount, packetSize, nullptr, pagesPerSector) != kImageSuccess ||
      readDeviceMap(path, sectorCount, packetSize, &map, pagesPerSector) != kImageSuccess) {
    console_.Printf("This version is not intended to support the <%s> target\n", name.c_str());
    return Fail();
  }
  // A packet size the link cannot carry would wrap around on the wire.
  if (!IsUsablePacketSize(packetSize)) {
    console_.Write(UnusablePacketSizeMessage(packetSize));
    return Fail();
  }
  // Sectors read from a damaged map must not reach the erase, upload or
  // download steps (a size of FFFFFFFF would be allocated whole).
  if (const std::string reason = ImplausibleSectorReason(map); !reason.empty()) {
    console_.Write(ImplausibleMapMessage(path, reason));
    return Fail();
  }
  mapPath_ = path;
  map_ = std::move(map);
  link_.setPacketSize(uint8_t(packetSize));

  const uint8_t synced = link_.initBootloader();
  if (synced != linkresult::kOk && cancel_.IsCancelled()) return Fail();
  // No reset of the target helps a line that hung up: no restart prompt.
  if (synced != linkresult::kOk && link_.lineHungUp()) {
    ResultLine("Activating device", false);
    return Fail();
  }
  if (synced != linkresult::kOk) {
    ResultLine("Activating device", false);
    if (synced == linkresult::kUnknownSync) {
      link_.closePort();
      console_.Write("Unrecognized device... Please, reset your device then try again \n");
      console_.Write("Please, reset your device then press any key to continue \n");
    } else {
      console_.Write(
          "No response from the target, the Boot loader can not be started. \nPlease, verify the "
          "boot mode configuration, reset your device then try again. \n");
      link_.closePort();
      console_.Write("Please, reset your device then then press any key to continue \n");
    }
    // End of input or cancellation must not restart for ever.
    return PressAnyKey() ? Outcome::Restart : Outcome::Failed;
  }
  if (!Settle()) return Fail();
  ResultLine("Activating device", true);
  CommandSet commands;
  if (link_.getCommands(&version_, &commands) != linkresult::kOk) {
    ResultLine("Getting the bootloader commands", false);
    return Fail();
  }
  link_.setTimeout(timeoutMs_);

  optionBase_ = kOptionBytesF1;
  if (link_.ackMode() == 0x79 && commands.getId) {
    uint8_t length = 0;
    std::vector<uint8_t> pid;
    if (link_.getId(&length, &pid) == linkresult::kOk) {
      uint32_t id = 0;
      for (uint8_t byte : pid) id = (id << 8) | byte;
      if (id == 0x411 || id == 0x413) optionBase_ = kOptionBytesF2F4;
      if (id == 0x416 || id == 0x436) optionBase_ = kOptionBytesL1;
    }
  }
  return Outcome::Done;
}

bool FlashLoaderRun::HaveMap() {
  if (map_) return true;
  console_.Write("No device map: activate the device with -i device_name first \n");
  return false;
}

Outcome FlashLoaderRun::CheckRoutineFile() {
  if (mapPath_.empty()) return Outcome::Done;
  const std::string version = FormatText("%x.%x", version_ >> 4, version_ & 0x0F);
  const CIni ini(mapPath_);
  if (!ini.HasKey("Product", version.c_str())) {
    if (ini.GetUInt("Product", "family", 0, 10) == 3)
      console_.Write(
          "\n!WARNING the erase or download operation may fail \n EW routines file is missing\n");
    return Outcome::Done;
  }
  const std::string file = ini.GetString("Product", version.c_str());
  if (file.empty()) return Outcome::Done;
  const std::string path =
      FormatText("%s%s%s", ProgramDirectory().c_str(), "STM8_Routines/", file.c_str());
  std::error_code error;
  if (!std::filesystem::exists(path, error)) {
    console_.Printf(
        "\n!WARNING the erase or download operation may fail \n EW routines file is missing "
        "[%s]\n",
        path.c_str());
    return Outcome::Done;
  }
  std::unique_ptr<CFirmImage> routines;
  if (loadImageFile(path, routines) != kImageSuccess) {
    console_.Write("Unable to load data from this file " + path + " ...\n");
    if (link_.isPortOpen()) link_.closePort();
    PressAnyKey();
    return Outcome::RoutineUnloadable;
  }
  for (const ImageElement& element : routines->elements)
    link_.download(element.address, element.data, false);
  if (!Settle()) return Fail();
  for (const ImageElement& element : routines->elements) {
    if (link_.verify(element.address, element.data, false) != linkresult::kOk) {
      console_.Printf(
          "%s at address :0x%X. \n%s \nPlease disable the write protection then try agin.\n",
          "Data not matching ", element.address, "The page may be write protected.");
      return Fail();
    }
  }
  return Outcome::Done;
}

Outcome FlashLoaderRun::Erase(const std::vector<SubOption>& subs) {
  // Only the first erase of a pass acts.
  if (erased_) return Outcome::Done;
  erased_ = true;
  if (Outcome later = CheckLaterDownload(); later != Outcome::Done) return later;
  if (Outcome routine = CheckRoutineFile(); routine != Outcome::Done) return routine;
  console_.Write("\n ERASING ... \n");
  for (const SubOption& sub : subs) {
    if (sub.name == "--all") {
      ResultLine("erasing all pages", link_.erase(0xFFFF, {}) == linkresult::kOk);
      continue;
    }
    const uint32_t count = ParseDecimal(sub.values[0]);
    std::vector<uint16_t> codes;
    console_.Printf("\nerasing %i sectors : ", int(count));
    for (uint32_t n = 1; n <= count; ++n) {
      codes.push_back(uint16_t(ParseDecimal(sub.values[n])));
      console_.Printf("<%i>", int(codes.back()));
    }
    console_.Write("\n");
    if (count > 0xFFFE || link_.erase(uint16_t(count), codes) != linkresult::kOk) {
      ResultLine("erasing", false);
      return Fail();
    }
    ResultLine("erasing", true);
  }
  return Outcome::Done;
}

// A download later in the list is checked before anything is erased: a file
// that is missing, unreadable or holds nothing for this device must leave
// the flash as it was.
Outcome FlashLoaderRun::CheckLaterDownload() {
  const auto later = std::find(texts_.begin() + std::ptrdiff_t(next_), texts_.end(), "-d");
  if (later == texts_.end()) return Outcome::Done;
  std::vector<std::string> args;
  for (auto text = later + 1; text != texts_.end() && !IsFlashLoaderOption(*text); ++text)
    args.push_back(*text);
  std::vector<SubOption> subs;
  if (auto bad = ParseSubOptions("-d", args, subs)) return BadParameter(*bad);
  const DownloadRequest request = RequestOf(subs);
  if (!DownloadFileExists(request.fileName)) return Fail();
  std::unique_ptr<CFirmImage> image;
  return LoadDownloadImage(request, image);
}

Outcome FlashLoaderRun::Upload(const std::vector<SubOption>& subs) {
  for (const SubOption& sub : subs)
    if (sub.name == "--fn") fileName_ = sub.values[0];
  // The format comes from the name: refuse it before reading the whole flash.
  if (!WritableImageName(fileName_)) return Fail();
  console_.Write("\n UPLOADING ... \n\n");
  if (!HaveMap()) return Fail();
  std::unique_ptr<CFirmImage> image;
  if (createImageFromMap(*map_, image) != kImageSuccess) return Fail();
  for (size_t index = 0; index < image->elements.size(); ++index) {
    ImageElement& element = image->elements[index];
    const bool ok = link_.upload(element.address, element.data) == linkresult::kOk;
    TransferLine("Uploading", index, element.address, element.size, ok);
    if (!ok) return Fail();
  }
  std::error_code error;
  if (!std::filesystem::exists(fileName_, error)) {
    console_.Printf("file %s does not exist .. Creating file\n", fileName_.c_str());
    std::ofstream created(fileName_);
  }
  console_.Write("Writing data ...\n");
  if (saveImageFile(fileName_, *image) != kImageSuccess) {
    console_.Printf("cannot write to file %s \n", fileName_.c_str());
    return Fail();
  }
  console_.Printf("\n Uploaded data is dumped on %s\n", fileName_.c_str());
  return Outcome::Done;
}

bool FlashLoaderRun::WritableImageName(const std::string& fileName) {
  if (IsImageFileName(fileName)) return true;
  console_.Printf(
      "cannot write to file %s : name it .hex, .s19, .srec, .s28, .s37, .mot or .bin \n",
      fileName.c_str());
  return false;
}

DownloadRequest FlashLoaderRun::RequestOf(const std::vector<SubOption>& subs) const {
  DownloadRequest request{fileName_, address_, verify_, optimise_};
  for (const SubOption& sub : subs) {
    if (sub.name == "--a") request.address = HexValue(sub);
    if (sub.name == "--v") request.verify = true;
    if (sub.name == "--o") request.optimise = true;
    if (sub.name == "--fn") request.fileName = sub.values[0];
  }
  return request;
}

bool FlashLoaderRun::DownloadFileExists(const std::string& fileName) {
  std::error_code error;
  if (!fileName.empty() && std::filesystem::is_regular_file(fileName, error)) return true;
  console_.Printf("file does not exist %s \n", fileName.c_str());
  return false;
}

// Loads the file of a download and clips it to the device map.
Outcome FlashLoaderRun::LoadDownloadImage(const DownloadRequest& request,
                                          std::unique_ptr<CFirmImage>& image) {
  if (loadImageFile(request.fileName, image) != kImageSuccess) {
    console_.Printf("cannot open file %s \n", request.fileName.c_str());
    return Fail();
  }
  // A binary file has no addresses of its own: it goes to the --a address.
  if (const ImageFormat* format = ImageFormatOfPath(request.fileName);
      format != nullptr && !format->CarriesAddresses())
    for (ImageElement& element : image->elements) element.address = request.address;
  if (!HaveMap()) return Fail();
  filterByMap(*image, &*map_);
  // Erasing the flash for an image that writes nothing would leave the
  // board without a program.
  const bool nothing = std::all_of(image->elements.begin(), image->elements.end(),
                                   [](const ImageElement& element) { return element.size == 0; });
  if (nothing) {
    console_.Printf(
        "file %s holds no data for the flash of this device; nothing was erased or written: "
        "check that the file is made for this device \n",
        request.fileName.c_str());
    return Fail();
  }
  return Outcome::Done;
}

Outcome FlashLoaderRun::Download(const std::vector<SubOption>& subs) {
  const DownloadRequest request = RequestOf(subs);
  fileName_ = request.fileName;
  address_ = request.address;
  verify_ = request.verify;
  optimise_ = request.optimise;
  if (map_)
    for (MapSector& sector : map_->sectors) sector.selected = true;
  if (!DownloadFileExists(fileName_)) return Fail();
  if (Outcome routine = CheckRoutineFile(); routine != Outcome::Done) return routine;
  console_.Write("\n DOWNLOADING ... \n\n");
  std::unique_ptr<CFirmImage> image;
  if (Outcome loaded = LoadDownloadImage(request, image); loaded != Outcome::Done) return loaded;

  for (size_t index = 0; index < image->elements.size(); ++index) {
    const ImageElement& element = image->elements[index];
    const bool ok = link_.download(element.address, element.data, optimise_) == linkresult::kOk;
    // A stopped transfer is no failed one: the job says it was cancelled.
    if (!ok && cancel_.IsCancelled()) return Fail();
    TransferLine("downloading", index, element.address, element.size, ok);
    // A silent target or a dead line is no matter of protection.
    if (!ok && ShowLineProblem()) return Fail();
    if (!ok) {
      ResultLine("The flash may be read protected; use -p --drp to disable write protection.",
                 false);
      return Fail();
    }
  }
  if (!verify_) return Outcome::Done;
  console_.Write("\n VERIFYING ... \n\n");
  for (size_t index = 0; index < image->elements.size(); ++index) {
    const ImageElement& element = image->elements[index];
    const bool ok = link_.verify(element.address, element.data, optimise_) == linkresult::kOk;
    if (!ok && cancel_.IsCancelled()) return Fail();
    TransferLine("verifying", index, element.address, element.size, ok);
    if (!ok && ShowLineProblem()) return Fail();
    if (!ok) {
      ResultLine("some pages may be write protected; use -p --dwp to disable write protection.",
                 false);
      return Fail();
    }
  }
  return Outcome::Done;
}

Outcome FlashLoaderRun::Run(const std::vector<SubOption>& subs) {
  for (const SubOption& sub : subs) {
    address_ = map_ && !map_->sectors.empty() ? map_->sectors.front().address : 0;
    if (!sub.values.empty()) address_ = HexValue(sub);
    if (link_.go(address_) == linkresult::kOk) {
      console_.Write("Your code is running...\n");
    } else {
      stepFailed_ = true;
      console_.Write("run fails \n");
    }
  }
  return Outcome::Done;
}

void FlashLoaderRun::Resynchronise() {
  if (!Settle()) return;
  ResultLine("reseting device", link_.initBootloader() == linkresult::kOk);
}

Outcome FlashLoaderRun::Protect(const std::vector<SubOption>& subs) {
  for (const SubOption& sub : subs) {
    if (cancel_.IsCancelled()) return Fail();
    if (sub.name == "--erp") {
      ResultLine("enabling read protection", link_.readoutProtect() == linkresult::kOk);
      Resynchronise();
    } else if (sub.name == "--drp") {
      if (link_.readoutUnprotect() != linkresult::kOk) {
        ResultLine("disabling read protection", false);
        continue;
      }
      ResultLine("disabling read protection", true);
      Resynchronise();
    } else if (sub.name == "--ewp") {
      const uint32_t count = ParseDecimal(sub.values[0]);
      console_.Printf("\nenabling write protection %i sectors : ", int(count));
      std::vector<uint8_t> codes;
      for (uint32_t n = 1; n <= count; ++n) {
        codes.push_back(uint8_t(ParseDecimal(sub.values[n])));
        console_.Printf("<%i>", int(codes.back()));
      }
      console_.Write("\n");
      ResultLine("enabling write protection", link_.writeProtect(codes) == linkresult::kOk);
      Resynchronise();
    } else if (sub.name == "--dwp") {
      ResultLine("disabling write protection", link_.writeUnprotect() == linkresult::kOk);
      Resynchronise();
    }
  }
  return Outcome::Done;
}

void FlashLoaderRun::ReopenAndResynchronise() {
  // The target resets to load new option bytes.
  link_.closePort();
  bool ok = link_.openPort() == linkresult::kOk;
  if (ok) {
    link_.setTimeout(timeoutMs_);
    ok = Settle() && link_.initBootloader() == linkresult::kOk;
  }
  ResultLine("Resetting device", ok);
}

Outcome FlashLoaderRun::OptionBytes(const std::vector<SubOption>& subs) {
  bool get = false, set = false, vals = false;
  std::vector<std::pair<std::string, uint8_t>> changes;
  for (const SubOption& sub : subs) {
    if (sub.name == "--get") get = true;
    if (sub.name == "--set") set = true;
    if (sub.name == "--vals") vals = true;
    if (sub.name == "--fn") fileName_ = sub.values[0];
    if (sub.name.size() > 2 && sub.name != "--fn" && !sub.values.empty())
      changes.emplace_back(sub.name, uint8_t(HexValue(sub)));
  }
  if (get == set) return BadParameter("-o");

  if (get) {
    if (!WritableImageName(fileName_)) {
      stepFailed_ = true;
      return Outcome::Done;
    }
    OptionByteValues values;
    const bool ok = link_.getOptionBytes(optionBase_, values) == linkresult::kOk;
    ResultLine("Getting Option bytes  data", ok);
    if (!ok) return Outcome::Done;
    const OptionByteBlock block = EncodeOptionBytes(optionBase_, values);
    CFirmImage image;
    image.elements.push_back({optionBase_, uint32_t(block.size()), {block.begin(), block.end()}});
    ResultLine("Saving Option bytes  data", saveImageFile(fileName_, image) == kImageSuccess);
    return Outcome::Done;
  }

  OptionByteValues values;
  if (vals) {
    // Never write a block that was not read first: 0xFF read protection
    // bytes would lock the chip.
    if (link_.getOptionBytes(optionBase_, values) != linkresult::kOk) {
      ResultLine("Getting Option bytes  data", false);
      return Outcome::Done;
    }
    for (const auto& [name, value] : changes) {
      if (name == "--RDP") values.rdp = value;
      if (name == "--User") values.user = value;
      if (name == "--Data0") values.data0 = value;
      if (name == "--Data1") values.data1 = value;
      if (name == "--WRP0") values.wrp0 = value;
      if (name == "--WRP1") values.wrp1 = value;
      if (name == "--WRP2") values.wrp2 = value;
      if (name == "--WRP3") values.wrp3 = value;
    }
  } else {
    std::error_code error;
    if (fileName_.empty() || !std::filesystem::is_regular_file(fileName_, error)) {
      console_.Printf("file does not exist %s \n", fileName_.c_str());
      return Fail();
    }
    std::unique_ptr<CFirmImage> image;
    if (loadImageFile(fileName_, image) != kImageSuccess || image->elements.size() != 1 ||
        image->elements[0].data.size() < 16) {
      console_.Printf("cannot open file %s \n", fileName_.c_str());
      ResultLine("Setting Option bytes  data", false);
      return Outcome::Done;
    }
    OptionByteBlock block;
    std::copy_n(image->elements[0].data.begin(), block.size(), block.begin());
    values = DecodeOptionBytes(optionBase_, block).value_or(values);
  }
  const bool ok = link_.setOptionBytes(optionBase_, values) == linkresult::kOk;
  ResultLine("Setting Option bytes  data", ok);
  if (ok) ReopenAndResynchronise();
  return Outcome::Done;
}
}  // namespace

int runFlashLoader(int count, const char* const* texts, const CancelToken& cancel,
                   JobConsole& console) {
  if (count <= 1 || !texts) {
    printFlashLoaderUsage(console);
    return 0;
  }
  BootloaderLink& link = TheBootloaderLink();
  LinkCancellation bound(link, cancel);
  for (int restarts = 0;; ++restarts) {
    FlashLoaderRun run(count, texts, link, cancel, console);
    switch (run.Execute()) {
      case Outcome::Done:
        return 0;
      case Outcome::Failed:
        return 1;
      case Outcome::RoutineUnloadable:
        return -1;
      case Outcome::Restart:
        // Every setting back to its default; the whole list again.
        if (cancel.IsCancelled()) return 1;
        if (restarts == kMaxActivationRestarts) {
          console.Printf(
              "The target did not answer in %d attempts: check the cable, the port and the boot "
              "mode switch, then run the update again.\n",
              kMaxActivationRestarts + 1);
          return 1;
        }
        break;
    }
  }
}

int runFlashLoader(int count, const char* const* texts) {
  return runFlashLoader(count, texts, JobCancellation(), ActiveConsole());
}

}  // namespace pellux
