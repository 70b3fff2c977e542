#include "flash/FlashLoader.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "CapturingConsole.h"
#include "Stm32TwinFixture.h"
#include "TestFiles.h"
#include "base/Cancellation.h"
#include "boards/MapTemplates.h"
#include "flash/BootloaderLink.h"
#include "images/FirmImage.h"
#include "jobs/ConsoleRunner.h"

using namespace pellux;

namespace {
// A console that does something on the writing thread the moment a text
// first appears in the output: a fault then strikes at a known step.
class TriggerConsole : public JobConsole {
 public:
  TriggerConsole(JobConsole& inner, std::string trigger, std::function<void()> action)
      : inner_(inner), trigger_(std::move(trigger)), action_(std::move(action)) {}
  void Write(std::string_view text) override {
    inner_.Write(text);
    if (fired_) return;
    written_ += text;
    if (written_.find(trigger_) != std::string::npos) {
      fired_ = true;
      action_();
    }
  }
  int ReadKey(const CancelToken& cancel) override { return inner_.ReadKey(cancel); }

 private:
  JobConsole& inner_;
  const std::string trigger_;
  const std::function<void()> action_;
  std::string written_;
  bool fired_ = false;
};

// Each run is handed the fixture's token and a console; the process's job
// token and active console are not involved.
class FlashLoaderTest : public ::testing::Test {
 protected:
  // Prompts meet the end of input unless a test scripts keys itself.
  FlashLoaderTest() : cwd(dir.path()) { console.CloseInput(); }

  // Each run after the first starts with a reset of the chip, as the user would.
  int Run(const std::vector<std::string>& args) { return Run(args, console, cancel); }
  int Run(const std::vector<std::string>& args, JobConsole& to) { return Run(args, to, cancel); }
  int Run(const std::vector<std::string>& args, JobConsole& to, const CancelToken& token) {
    if (twin && ranBefore) twin->Model().Reset();
    ranBefore = true;
    std::vector<const char*> texts = {"exefile"};
    for (const std::string& arg : args) texts.push_back(arg.c_str());
    return runFlashLoader(int(texts.size()), texts.data(), token, to);
  }

  // Writes a HEX file of the given pieces and returns its path.
  std::string HexFile(const std::vector<std::pair<uint32_t, std::vector<uint8_t>>>& pieces) {
    CFirmImage image;
    for (const auto& [address, bytes] : pieces)
      image.elements.push_back({address, uint32_t(bytes.size()), bytes});
    const std::string path = dir / "firmware.hex";
    EXPECT_EQ(saveImageFile(path, image), kImageSuccess);
    return path;
  }

  // A twin slow enough to cancel mid-transfer, a map, and a 64 KiB image for it.
  std::string StartSlowTwinWithLargeImage() {
    Stm32Options options;
    options.writeTime = std::chrono::milliseconds(20);
    twin = StartStm32Twin(options);
    WriteFile(dir / "map.map", HighDensityMapTemplate());
    return HexFile({{0x08000000, PatternBytes(64 * 1024, 10)}});
  }

  std::vector<uint8_t> FlashAt(uint32_t address, size_t size) {
    const auto flash = twin->Model().Flash();
    const size_t offset = address - 0x08000000;
    return {flash.begin() + offset, flash.begin() + offset + size};
  }

  TempDir dir;
  ScopedCurrentDir cwd;
  CancelToken cancel;
  CapturingConsole console;
  std::unique_ptr<VirtualStm32Device> twin;
  bool ranBefore = false;
};
}  // namespace

TEST_F(FlashLoaderTest, FirmwareJobArgumentsFlashVerifyAndStart) {
  twin = StartStm32Twin();
  WriteFile(dir / "map.map", HighDensityMapTemplate());
  twin->Model().Program(0x08020000, {0x00, 0x00});  // erased by --all
  const auto low = PatternBytes(5000, 3), high = PatternBytes(700, 4);
  const std::string hex = HexFile({{0x08000000, low}, {0x08030010, high}});
  EXPECT_EQ(Run({"-c", "--pn", "7", "--br", "57600", "--to", "3000", "-i", "map", "-e", "--all",
                 "-d", "--fn", hex, "--v", "--o", "-r", "--a", "8000000"}),
            0);
  std::vector<uint8_t> expected(twin->Model().FlashSize(), 0xFF);
  std::copy(low.begin(), low.end(), expected.begin());
  std::copy(high.begin(), high.end(), expected.begin() + 0x30010);
  EXPECT_EQ(twin->Model().Flash(), expected);
  EXPECT_EQ(twin->Model().StartedAt(), 0x08000000u);
  const std::string out = console.Output();
  EXPECT_NE(out.find("Opening Port \t\t\t\t [OK] \n"), std::string::npos);
  EXPECT_NE(out.find("Activating device \t\t\t\t [OK] \n"), std::string::npos);
  EXPECT_NE(out.find("erasing all pages \t\t\t\t [OK] \n"), std::string::npos);
  EXPECT_NE(out.find("downloading \t page 0 \t @0x  8000000 \t size 2.00(KB) \t [OK] \n"),
            std::string::npos);
  EXPECT_NE(out.find("verifying \t page 2 \t @0x  8001000 \t size 0.88(KB) \t [OK] \n"),
            std::string::npos);
  EXPECT_NE(out.find("Your code is running...\n"), std::string::npos);
  EXPECT_EQ(twin->LineBaudRate(), 57600);
}

TEST_F(FlashLoaderTest, UploadReproducesTheFlashInEveryFormat) {
  twin = StartStm32Twin();
  WriteFile(dir / "small.map", SmallMap(2));
  const auto content = PatternBytes(4096, 5);
  twin->Model().Program(0x08000000, content);
  for (const std::string name : {"dump.bin", "dump.hex", "dump.s19"}) {
    SCOPED_TRACE(name);
    console.ClearOutput();
    ASSERT_EQ(Run({"-c", "--pn", "7", "-i", "small", "-u", "--fn", dir / name}), 0)
        << console.Output();
    EXPECT_NE(console.Output().find("does not exist .. Creating file\n"), std::string::npos);
    EXPECT_NE(console.Output().find("\n Uploaded data is dumped on " + (dir / name) + "\n"),
              std::string::npos);
    std::unique_ptr<CFirmImage> image;
    ASSERT_EQ(loadImageFile(dir / name, image), kImageSuccess);
    ASSERT_EQ(image->elements.size(), 1u);
    EXPECT_EQ(image->elements[0].address, 0x08000000u);
    EXPECT_EQ(image->elements[0].data, content);
  }
}

TEST_F(FlashLoaderTest, EraseOfChosenPagesInOneCommand) {
  twin = StartStm32Twin();
  WriteFile(dir / "small.map", SmallMap(4));
  for (uint32_t page = 0; page < 4; ++page) twin->Model().Program(0x08000000 + page * 0x800, {0});
  ASSERT_EQ(Run({"-c", "--pn", "7", "-i", "small", "-e", "--sec", "3", "0", "1", "2"}), 0);
  EXPECT_NE(console.Output().find("\nerasing 3 sectors : <0><1><2>\nerasing \t\t\t\t [OK] \n"),
            std::string::npos);
  std::vector<Stm32Command> erases;
  for (const auto& command : twin->Model().Commands())
    if (command.code == 0x43) erases.push_back(command);
  ASSERT_EQ(erases.size(), 1u);
  EXPECT_EQ(erases[0].codes, (std::vector<uint16_t>{0, 1, 2}));
  EXPECT_EQ(FlashAt(0x08000000, 1)[0], 0xFF);
  EXPECT_EQ(FlashAt(0x08001800, 1)[0], 0x00);
}

TEST_F(FlashLoaderTest, RemainderReadsFortyEightAndWritesFortyFour) {
  twin = StartStm32Twin();
  WriteFile(dir / "small.map", SmallMap(2));
  const auto data = PatternBytes(300, 6);
  const std::string hex = HexFile({{0x08000000, data}});
  twin->Model().ClearCommands();
  ASSERT_EQ(Run({"-c", "--pn", "7", "-i", "small", "-d", "--fn", hex}), 0);
  std::vector<std::tuple<uint8_t, uint32_t, uint32_t>> transfers;
  for (const auto& c : twin->Model().Commands())
    if (c.code == 0x11 || c.code == 0x31) transfers.emplace_back(c.code, c.address, c.count);
  const std::vector<std::tuple<uint8_t, uint32_t, uint32_t>> expected = {{0x31, 0x08000000, 128},
                                                                         {0x31, 0x08000080, 128},
                                                                         {0x11, 0x08000100, 48},
                                                                         {0x31, 0x08000100, 44}};
  EXPECT_EQ(transfers, expected);
  EXPECT_EQ(FlashAt(0x08000000, 300), data);
}

TEST_F(FlashLoaderTest, WritingOverUnerasedFlashFailsVerification) {
  twin = StartStm32Twin();
  WriteFile(dir / "small.map", SmallMap(2));
  twin->Model().Program(0x08000000, std::vector<uint8_t>(64, 0x00));
  const std::string hex = HexFile({{0x08000000, PatternBytes(256, 7)}});
  EXPECT_EQ(Run({"-c", "--pn", "7", "-i", "small", "-d", "--fn", hex, "--v"}), 1);
  const std::string out = console.Output();
  EXPECT_NE(out.find("downloading \t page 0 \t @0x  8000000 \t size 0.25(KB) \t [OK] \n"),
            std::string::npos);
  EXPECT_NE(out.find("verifying \t page 0 \t @0x  8000000 \t size 0.25(KB) \t [KO] \n"
                     "some pages may be write protected; use -p --dwp to disable write "
                     "protection. \t\t\t\t [KO] \n\n Press any key to continue ...\n"),
            std::string::npos);
}

TEST_F(FlashLoaderTest, SilentTargetRestartsTheListUntilItAnswers) {
  Stm32Options options;
  options.silent = true;
  twin = StartStm32Twin(options);
  WriteFile(dir / "small.map", SmallMap(2));
  CapturingConsole keys;
  auto run = std::async(std::launch::async, [&] {
    return Run({"-c", "--pn", "7", "--to", "500", "-i", "small", "-r", "--a", "8000000"}, keys);
  });
  ASSERT_TRUE(keys.WaitForOutput("Press any key to continue"));
  const std::string out = keys.Output();
  EXPECT_NE(out.find("Activating device \t\t\t\t [KO] \nNo response from the target, the Boot "
                     "loader can not be started. \nPlease, verify the boot mode configuration, "
                     "reset your device then try again. \nPlease, reset your device then then "
                     "press any key to continue \n"),
            std::string::npos);
  twin->Model().SetSilent(false);
  keys.PushKey('\n');
  ASSERT_EQ(run.get(), 0);
  const std::string all = keys.Output();
  size_t opened = 0;
  for (size_t at = all.find("Opening Port \t\t\t\t [OK]"); at != std::string::npos;
       at = all.find("Opening Port \t\t\t\t [OK]", at + 1))
    ++opened;
  EXPECT_EQ(opened, 2u);
  EXPECT_EQ(twin->Model().StartedAt(), 0x08000000u);
}

TEST_F(FlashLoaderTest, EndOfInputAtTheRestartPromptFailsTheRun) {
  Stm32Options options;
  options.silent = true;
  twin = StartStm32Twin(options);
  WriteFile(dir / "small.map", SmallMap(2));
  EXPECT_EQ(Run({"-c", "--pn", "7", "-i", "small"}), 1);
  EXPECT_EQ(console.PromptsSeen(), 1);
}

TEST_F(FlashLoaderTest, TheOtherDialectFlashesToo) {
  Stm32Options options;
  options.ackByte = 0x75;
  twin = StartStm32Twin(options);
  WriteFile(dir / "small.map", SmallMap(2));
  const auto data = PatternBytes(1000, 8);
  const std::string hex = HexFile({{0x08000100, data}});
  ASSERT_EQ(Run({"-c", "--pn", "7", "-i", "small", "-e", "--all", "-d", "--fn", hex, "--v", "-r",
                 "--a", "8000000"}),
            0);
  EXPECT_EQ(FlashAt(0x08000100, 1000), data);
  EXPECT_EQ(twin->Model().StartedAt(), 0x08000000u);
}

TEST_F(FlashLoaderTest, ProtectionsRoundTrip) {
  twin = StartStm32Twin();
  WriteFile(dir / "small.map", SmallMap(2));
  const std::string hex = HexFile({{0x08000000, PatternBytes(64, 9)}});
  ASSERT_EQ(Run({"-c", "--pn", "7", "-i", "small", "-p", "--ewp", "1", "0"}), 0);
  EXPECT_NE(console.Output().find("\nenabling write protection 1 sectors : <0>\n"
                                  "enabling write protection \t\t\t\t [OK] \n"
                                  "reseting device \t\t\t\t [OK] \n"),
            std::string::npos);
  EXPECT_EQ(Run({"-c", "--pn", "7", "-i", "small", "-d", "--fn", hex}), 1);
  EXPECT_NE(console.Output().find("The flash may be read protected; use -p --drp to disable "
                                  "write protection. \t\t\t\t [KO] \n"),
            std::string::npos);
  console.ClearOutput();
  ASSERT_EQ(Run({"-c", "--pn", "7", "-i", "small", "-p", "--dwp", "--erp"}), 0);
  EXPECT_TRUE(twin->Model().ReadProtected());
  EXPECT_NE(console.Output().find("disabling write protection \t\t\t\t [OK] \n"),
            std::string::npos);
  ASSERT_EQ(Run({"-c", "--pn", "7", "-i", "small", "-p", "--drp", "-d", "--fn", hex}), 0);
  EXPECT_FALSE(twin->Model().ReadProtected());
  EXPECT_EQ(FlashAt(0x08000000, 64), PatternBytes(64, 9));
}

TEST_F(FlashLoaderTest, OptionBytesRoundTrip) {
  twin = StartStm32Twin();
  WriteFile(dir / "small.map", SmallMap(2));
  ASSERT_EQ(Run({"-c", "--pn", "7", "-i", "small", "-o", "--set", "--vals", "--Data0", "3C",
                 "--WRP3", "7F"}),
            0);
  auto block = twin->Model().OptionBytes();
  EXPECT_EQ(block[4], 0x3C);
  EXPECT_EQ(block[5], 0xC3);
  EXPECT_EQ(block[14], 0x7F);
  EXPECT_EQ(block[0], 0xA5);  // untouched values were read back first
  EXPECT_NE(console.Output().find("Setting Option bytes  data \t\t\t\t [OK] \n"
                                  "Resetting device \t\t\t\t [OK] \n"),
            std::string::npos);

  const std::string saved = dir / "options.hex";
  ASSERT_EQ(Run({"-c", "--pn", "7", "-i", "small", "-o", "--get", "--fn", saved}), 0);
  std::unique_ptr<CFirmImage> image;
  ASSERT_EQ(loadImageFile(saved, image), kImageSuccess);
  ASSERT_EQ(image->elements.size(), 1u);
  EXPECT_EQ(image->elements[0].address, 0x1FFFF800u);
  EXPECT_EQ(image->elements[0].data, std::vector<uint8_t>(block.begin(), block.end()));

  ASSERT_EQ(Run({"-c", "--pn", "7", "-i", "small", "-o", "--set", "--vals", "--Data0", "FF"}), 0);
  EXPECT_EQ(twin->Model().OptionBytes()[4], 0xFF);
  ASSERT_EQ(Run({"-c", "--pn", "7", "-i", "small", "-o", "--set", "--fn", saved}), 0);
  EXPECT_EQ(twin->Model().OptionBytes(), block);
}

TEST_F(FlashLoaderTest, BadParametersAndMissingMaps) {
  EXPECT_EQ(Run({"-c", "--pn", "7", "--bogus", "1"}), 1);
  EXPECT_EQ(console.Output(), "bad parameter [--bogus] \n\n Press any key to continue ...\n");
  console.ClearOutput();
  EXPECT_EQ(Run({"-e", "--sec", "3", "0", "1"}), 1);
  EXPECT_EQ(console.Output().rfind("bad parameter [--sec] \n", 0), 0u);
  console.ClearOutput();
  EXPECT_EQ(Run({"-Rts", "--Up"}), 1);
  EXPECT_EQ(console.Output().rfind("bad parameter [Set Rts line] should be Hi or Lo  \t\t\t\t "
                                   "[KO] \nbad parameter [--Up] \n",
                                   0),
            0u);
  console.ClearOutput();
  EXPECT_EQ(Run({"stray", "-c"}), 1);  // the list ends, as a failure, at a text that is no option
  EXPECT_EQ(console.Output(), "bad parameter [stray] \n");
  console.ClearOutput();
  EXPECT_EQ(Run({"-i", "nosuchchip"}), 1);
  EXPECT_EQ(console.Output().rfind(
                "This version is not intended to support the <nosuchchip> target\n", 0),
            0u);
  console.ClearOutput();
  WriteFile(dir / "wide.map", "[Product]\nPacketSize=100\n\n[Page0]\nAddress=08000000\n");
  EXPECT_EQ(Run({"-i", "wide"}), 1);
  EXPECT_NE(console.Output().find("PacketSize=100 cannot be used"), std::string::npos);
  console.ClearOutput();
  EXPECT_EQ(Run({"-r"}), 0);  // -r alone sends nothing
  EXPECT_EQ(console.Output(), "");
}

TEST_F(FlashLoaderTest, ImplausibleMapSectorsAreRefusedBeforeTheTargetIsAsked) {
  const std::pair<std::string, std::string> maps[] = {
      {"[Page0]\nAddress=08000000\nSize=FFFFFFFF\n",
       "sector [Page0] at 0x08000000 with the size 0xFFFFFFFF reaches beyond the flash address "
       "space, which ends at 0x1FFFFFFF"},
      {"[Page0]\nAddress=08000000\nSize=800\n[Page1]\nAddress=08000800\n",
       "sector [Page1] has the size 0"},
      {"[Page0]\nAddress=08000800\nSize=800\n[Page1]\nAddress=08000000\nSize=801\n",
       "sectors [Page1] and [Page0] overlap"},
  };
  for (const auto& [sectors, reason] : maps) {
    console.ClearOutput();
    WriteFile(dir / "bad.map", "[Product]\nPacketSize=80\n\n" + sectors);
    EXPECT_EQ(Run({"-i", "bad"}), 1);
    EXPECT_EQ(console.Output().rfind("The device map ./bad.map cannot be used: " + reason +
                                         ". Correct the map file or use the one shipped with the "
                                         "program.\n",
                                     0),
              0u)
        << console.Output();
    EXPECT_EQ(console.Output().find("Activating device"), std::string::npos);
  }
}

TEST_F(FlashLoaderTest, UsageTextLineForLine) {
  const char* const expected[] = {
      "PUpdate UART Flash Loader command line v1.0 \n\n",
      " Usage : \n\n",
      " FlashLoader [options] [Agrument][[options] [Agrument]...] \n\n",
      "  -?                   (Show this help) \n",
      "  -c                   (Establish connection to the COM port) \n",
      "     --pn  port_nb     : e.g: 1, 2 ..., default 1 \n",
      "     --br  baud_rate   : e.g: 115200, 57600 ..., default 57600 \n",
      "     --db  data_bits   : value in {5,6,7,8} ..., default 8 \n",
      "     --pr  parity      : value in {NONE,ODD,EVEN} ..., default EVEN \n",
      "     --sb  stop_bits   : value in {1,1.5,2} ..., default 1 \n",
      "     --ec  echo        : value OFF or ECHO or LISTEN ..., default is OFF \n",
      "     --co  control     : Enable or Disable RTS and DTR outputs control  \n",
      "                       : value OFF or ON ..., default is OFF \n",
      "     --to  time_out    : (ms) e.g 1000, 2000, 3000 ..., default 5000 \n",
      "  -Rts                 (set Rts line to Hi, Lo)\n",
      "     --State           : State in {Hi, Lo} \n",
      "  -Dtr                 (Set Rts line to Hi, Lo)\n",
      "     --State           : State in {Hi, Lo}\n",
      "  -i  device_name      (e.g STM32_Low-density_16K, [See the Map directory]) \n",
      "  -e                   (erase flash pages\n",
      "     --all all pages   : erase all pages\n",
      "     --sec number_of_pages_group pages_group_codes : erase specified group pages \n",
      "  -u                   (Upload flash contents to a .bin, .hex or .s19 file )\n",
      "     --fn  file_name   : full path name of the file \n",
      "  -d                   (Download the content of a file into MCU flash) \n",
      "     --a   address(hex): start @ in hex ; ignored if it is not a binary file \n",
      "     --fn  file_name   : full path name (.bin, .hex or .s19 file) \n",
      "     --v               : verify after download \n",
      "     --o               : optimize; removes FFs data \n",
      "  -r                   (Run the flash code at the specified address \n",
      "     --a address(hex)  : address in hexadecimal) \n",
      "  -p        (Enable or Disable protections) \n",
      "     --ewp  : enable write protection for sector codes (e.g 1,2,etc.) \n",
      "     --dwp  : disable write protection \n",
      "     --drp  : disable read protection \n",
      "     --erp  : enable read protection, all arguments following this one will fail \n",
      "  -o              (Get or Set STM32F1x option bytes: use -d command for others!) \n",
      "     --get --fn file_name : get option bytes from the device \n",
      "                            and write it in the specified file \n",
      "     --set --fn file_name : load option bytes from the specified file \n",
      "                            and write it to the device \n",
      "     --set --vals --OPB hex_val : set the specified option byte; OPB in: User, \n",
      "                                  RDP, Data0, Data1, WRP0, WRP1, WRP2, WRP3 \n",
  };
  std::string all;
  for (const char* line : expected) all += line;
  EXPECT_EQ(Run({}), 0);
  EXPECT_EQ(console.Output(), all);
  console.ClearOutput();
  EXPECT_EQ(Run({"-?"}), 0);
  EXPECT_EQ(console.Output(), all);
}

TEST_F(FlashLoaderTest, CancellationEndsATransfer) {
  const std::string hex = StartSlowTwinWithLargeImage();
  CapturingConsoleHost host;
  std::atomic<int> code{-5};
  // The console runner hands the run the process's job token, which Ctrl+C cancels.
  auto run = std::async(std::launch::async, [&] {
    return RunInConsole([&](const CancelToken& runCancel, JobConsole& runConsole) {
      code = Run({"-c", "--pn", "7", "-i", "map", "-d", "--fn", hex}, runConsole, runCancel);
      return code == 0;
    });
  });
  ASSERT_TRUE(host.console.WaitForOutput("DOWNLOADING"));
  JobCancellation().Cancel();
  EXPECT_FALSE(run.get());
  EXPECT_EQ(code, 1);
  // The stop is said once, as such; no page is reported as failed.
  EXPECT_EQ(host.console.Output().find("[KO]"), std::string::npos) << host.console.Output();
  EXPECT_NE(host.console.Output().find("Cancelled.\r\n"), std::string::npos);
  // Far from all of the image arrived.
  EXPECT_NE(FlashAt(0x08000000 + 60 * 1024, 1)[0], PatternBytes(64 * 1024, 10)[60 * 1024]);
}

TEST_F(FlashLoaderTest, ARunHandedItsOwnTokenEndsOnItAloneAndGivesTheLinkBack) {
  const std::string hex = StartSlowTwinWithLargeImage();
  // Another job's Ctrl+C, before and during this run, does not reach it.
  JobCancellation().Cancel();
  auto run = std::async(std::launch::async, [&] {
    return Run({"-c", "--pn", "7", "-i", "map", "-d", "--fn", hex});
  });
  EXPECT_TRUE(console.WaitForOutput("downloading \t page 1 "));
  EXPECT_EQ(&TheBootloaderLink().cancellation(), &cancel);
  cancel.Cancel();
  EXPECT_EQ(run.get(), 1);
  JobCancellation().Reset();
  EXPECT_EQ(console.Output().find("[KO]"), std::string::npos);
  EXPECT_NE(FlashAt(0x08000000 + 60 * 1024, 1)[0], PatternBytes(64 * 1024, 10)[60 * 1024]);
  // The process-wide link no longer refers to the run's token.
  EXPECT_NE(&TheBootloaderLink().cancellation(), &cancel);
  EXPECT_FALSE(TheBootloaderLink().isPortOpen());
}

TEST_F(FlashLoaderTest, ALineThatHangsUpEndsTheRunAtOnceWithoutAKeyPrompt) {
  const std::string hex = StartSlowTwinWithLargeImage();
  // The adapter is pulled once page 1 has been written.
  TriggerConsole pulled(console, "downloading \t page 1 ", [&] { twin->HangUp(); });
  EXPECT_EQ(Run({"-c", "--pn", "7", "-i", "map", "-d", "--fn", hex, "--v", "-r", "--a", "8000000"},
                pulled),
            1);
  const std::string out = console.Output();
  EXPECT_NE(out.find("The line to COM7 ("), std::string::npos) << out;
  EXPECT_EQ(out.find("Press any key"), std::string::npos) << out;
  EXPECT_EQ(console.PromptsSeen(), 0);
  EXPECT_EQ(out.find("read protected"), std::string::npos) << out;
  EXPECT_EQ(out.find("VERIFYING"), std::string::npos) << out;
}

TEST_F(FlashLoaderTest, ALineThatHangsUpAtActivationAsksForNoReset) {
  twin = StartStm32Twin();
  WriteFile(dir / "map.map", HighDensityMapTemplate());
  TriggerConsole pulled(console, "Opening Port \t\t\t\t [OK] \n", [&] { twin->HangUp(); });
  EXPECT_EQ(Run({"-c", "--pn", "7", "-i", "map", "-e", "--all"}, pulled), 1);
  const std::string out = console.Output();
  EXPECT_NE(out.find("Activating device \t\t\t\t [KO] \n"), std::string::npos) << out;
  EXPECT_NE(out.find("The line to COM7 ("), std::string::npos) << out;
  EXPECT_EQ(out.find("reset your device"), std::string::npos) << out;
  EXPECT_EQ(console.PromptsSeen(), 0);
}

TEST_F(FlashLoaderTest, ACancellationDuringVerificationIsNoVerificationFailure) {
  twin = StartStm32Twin();
  WriteFile(dir / "map.map", HighDensityMapTemplate());
  const std::string hex = HexFile({{0x08000000, PatternBytes(16 * 1024, 12)}});
  CapturingConsoleHost host;
  std::promise<void> verifying;
  std::atomic<int> code{-5};
  auto run = std::async(std::launch::async, [&] {
    return RunInConsole([&](const CancelToken& runCancel, JobConsole& runConsole) {
      // The target stops answering as verification begins: the run waits
      // for its answer until it is cancelled.
      TriggerConsole stalls(runConsole, "VERIFYING", [&] {
        twin->SetSilent(true);
        verifying.set_value();
      });
      code = Run({"-c", "--pn", "7", "--to", "60000", "-i", "map", "-d", "--fn", hex, "--v"},
                 stalls, runCancel);
      return code == 0;
    });
  });
  ASSERT_EQ(verifying.get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready)
      << host.console.Output();
  JobCancellation().Cancel();
  EXPECT_FALSE(run.get());
  EXPECT_EQ(code, 1);
  const std::string out = host.console.Output();
  EXPECT_NE(out.find("downloading \t page 7 \t @0x  8003800 \t size 2.00(KB) \t [OK] \n"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("[KO]"), std::string::npos) << out;
  EXPECT_EQ(out.find("write protected"), std::string::npos) << out;
  EXPECT_EQ(out.find("Press any key"), std::string::npos) << out;
  EXPECT_NE(out.find("\n VERIFYING ... \n\n"), std::string::npos) << out;
  EXPECT_EQ(out.substr(out.size() - 13), "\nCancelled.\r\n") << out;
}
