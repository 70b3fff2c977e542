#include <gtest/gtest.h>

#include <locale.h>

#include <clocale>
#include <filesystem>

#include "CapturingConsole.h"
#include "PeerTools.h"
#include "PtyPair.h"
#include "Stm32TwinFixture.h"
#include "TestFiles.h"
#include "flash/BootloaderLink.h"
#include "flash/FlashLoader.h"
#include "flash/FlashLoaderTokens.h"
#include "images/FirmImage.h"

using namespace pellux;

// The flash loader's argument list against the STM32 twin: positions,
// hexadecimal values, exit codes and the checks made before the target is
// touched.
namespace {
namespace fs = std::filesystem;

class FlashLoaderArguments : public ::testing::Test {
 protected:
  FlashLoaderArguments() : cwd(dir.path()), active(console) {
    console.CloseInput();
    WriteFile(dir / "small.map", SmallMap(4));
  }

  void StartTwin(Stm32Options options = {}) { twin = StartStm32Twin(std::move(options)); }

  int Run(const std::vector<std::string>& args) {
    if (twin && ranBefore) twin->Model().Reset();
    ranBefore = true;
    std::vector<const char*> texts = {"exefile"};
    for (const std::string& arg : args) texts.push_back(arg.c_str());
    return runFlashLoader(int(texts.size()), texts.data());
  }

  bool Printed(const std::string& text) const {
    return console.Output().find(text) != std::string::npos;
  }

  std::vector<uint8_t> CommandCodes() const {
    std::vector<uint8_t> codes;
    for (const Stm32Command& command : twin->Model().Commands()) codes.push_back(command.code);
    return codes;
  }

  bool Sent(uint8_t code) const {
    const auto codes = CommandCodes();
    return std::find(codes.begin(), codes.end(), code) != codes.end();
  }

  TempDir dir;
  ScopedCurrentDir cwd;
  CapturingConsole console;
  ScopedActiveConsole active;
  std::unique_ptr<VirtualStm32Device> twin;
  bool ranBefore = false;
};
}  // namespace

TEST(FlashLoaderTokens, HexadecimalValuesTakeAnOptionalPrefixAndNothingElse) {
  EXPECT_EQ(ParseHex("8000000"), 0x08000000u);
  EXPECT_EQ(ParseHex("0x08000000"), 0x08000000u);
  EXPECT_EQ(ParseHex("0X0800abcd"), 0x0800ABCDu);
  EXPECT_EQ(ParseHex("FFFFFFFF"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseHex("3C", 0xFF), 0x3Cu);
  for (const char* bad : {"", "0x", "zz", "08000000zz", "0x-1", "-1", " 10", "100000000", "1 2"})
    EXPECT_FALSE(ParseHex(bad).has_value()) << bad;
  EXPECT_FALSE(ParseHex("100", 0xFF).has_value());
}

TEST(FlashLoaderTokens, FractionsKeepTheirPointInAGermanLocale) {
  locale_t german = newlocale(LC_NUMERIC_MASK, "de_DE.UTF-8", nullptr);
  ASSERT_NE(german, locale_t(nullptr))
      << "de_DE.UTF-8 is not generated: run scripts/test-locale.sh";
  freelocale(german);
  const std::string before = std::setlocale(LC_NUMERIC, nullptr);
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  const float stopBits = ParseFraction("1.5");
  std::setlocale(LC_NUMERIC, before.c_str());
  EXPECT_EQ(stopBits, 1.5f);
}

TEST_F(FlashLoaderArguments, PageEraseInEachDialectPutsItsOwnFrameOnTheWire) {
  for (const uint8_t dialect : {uint8_t(0x79), uint8_t(0x75)}) {
    SCOPED_TRACE(dialect);
    Stm32Options options;
    options.ackByte = dialect;
    StartTwin(options);
    ranBefore = false;
    for (uint32_t page = 0; page < 4; ++page) twin->Model().Program(0x08000000 + page * 0x800, {0});
    ASSERT_EQ(Run({"-c", "--pn", "7", "-i", "small", "-e", "--sec", "3", "0", "1", "2"}), 0)
        << console.Output();
    const std::vector<uint8_t> frame =
        dialect == 0x79 ? std::vector<uint8_t>{0x43, 0xBC, 0x02, 0x00, 0x01, 0x02, 0x01}
                        : std::vector<uint8_t>{0x43, 0x02, 0x00, 0x01, 0x02};
    const std::vector<uint8_t> wire = twin->Received();
    ASSERT_GE(wire.size(), frame.size());
    EXPECT_TRUE(std::equal(frame.begin(), frame.end(), wire.end() - std::ptrdiff_t(frame.size())))
        << "the erase is the last thing on the wire";
    EXPECT_EQ(twin->Model().Flash()[0x1000], 0xFF);
    EXPECT_EQ(twin->Model().Flash()[0x1800], 0x00);
    EXPECT_EQ(twin->Model().Commands().back().codes, (std::vector<uint16_t>{0, 1, 2}));
  }
}

TEST_F(FlashLoaderArguments, AddressesAndOptionBytesAreReadAsHexadecimal) {
  StartTwin();
  ASSERT_EQ(Run({"-c", "--pn", "7", "-i", "small", "-r", "--a", "0x08000000"}), 0);
  EXPECT_EQ(twin->Model().StartedAt(), 0x08000000u);

  const std::vector<uint8_t> data = PatternBytes(600, 11);
  WriteBytes(dir / "app.bin", data);
  ASSERT_EQ(Run({"-c", "--pn", "7", "-i", "small", "-d", "--a", "0X08000800", "--fn",
                 dir / "app.bin", "--v"}),
            0)
      << console.Output();
  const auto flash = twin->Model().Flash();
  EXPECT_EQ(std::vector<uint8_t>(flash.begin() + 0x800, flash.begin() + 0x800 + 600), data);

  ASSERT_EQ(Run({"-c", "--pn", "7", "-i", "small", "-o", "--set", "--vals", "--Data0", "0x3c"}), 0);
  EXPECT_EQ(twin->Model().OptionBytes()[4], 0x3C);
}

TEST_F(FlashLoaderArguments, TextThatIsNotHexadecimalIsABadParameter) {
  StartTwin();
  const std::vector<std::vector<std::string>> lists = {
      {"-c", "--pn", "7", "-i", "small", "-r", "--a", "08000000zz"},
      {"-c", "--pn", "7", "-i", "small", "-r", "--a", "0x"},
      {"-c", "--pn", "7", "-i", "small", "-d", "--a", "g", "--fn", "x.bin"},
      {"-c", "--pn", "7", "-i", "small", "-o", "--set", "--vals", "--RDP", "1FF"},
  };
  for (const auto& list : lists) {
    console.ClearOutput();
    twin->Model().ClearCommands();
    EXPECT_EQ(Run(list), 1);
    const std::string value = list[list.size() - (list[5] == "-d" ? 3 : 1)];
    EXPECT_TRUE(Printed("bad parameter [" + value + "] \n")) << console.Output();
    EXPECT_FALSE(Sent(0x21)) << "no Go";
    EXPECT_FALSE(Sent(0x31)) << "nothing written";
  }
  EXPECT_FALSE(twin->Model().StartedAt().has_value());
}

TEST_F(FlashLoaderArguments, EveryPositionHoldsAnOption) {
  StartTwin();
  // The device is activated, then the stray value ends the run.
  EXPECT_EQ(Run({"-c", "--pn", "7", "-i", "small", "extra", "-r", "--a", "8000000"}), 1);
  EXPECT_TRUE(Printed("Activating device \t\t\t\t [OK] \nbad parameter [extra] \n"))
      << console.Output();
  EXPECT_TRUE(twin->Model().Synchronised());
  EXPECT_FALSE(twin->Model().StartedAt().has_value());

  console.ClearOutput();
  EXPECT_EQ(Run({"-c", "--pn", "7", "-v", "junk", "-i", "small"}), 1);
  EXPECT_TRUE(Printed("Opening Port \t\t\t\t [OK] \nbad parameter [junk] \n")) << console.Output();
  EXPECT_FALSE(Printed("Activating device"));

  console.ClearOutput();
  EXPECT_EQ(Run({"-v", "--all"}), 1);
  EXPECT_EQ(console.Output(), "bad parameter [--all] \n");

  console.ClearOutput();
  EXPECT_EQ(Run({"-c", "--pn", "7", "-v", "-i", "small", "-r", "--a", "8000000"}), 0);
  EXPECT_EQ(twin->Model().StartedAt(), 0x08000000u);
}

TEST_F(FlashLoaderArguments, KoLinesThatLetTheRunGoOnStillFailIt) {
  StartTwin();
  twin->Model().SetNackCommand(0x43);
  EXPECT_EQ(Run({"-c", "--pn", "7", "-i", "small", "-e", "--all", "-r", "--a", "8000000"}), 1);
  EXPECT_TRUE(Printed("erasing all pages \t\t\t\t [KO] \n"));
  EXPECT_EQ(twin->Model().StartedAt(), 0x08000000u) << "the run went on after the KO";
  twin->Model().SetNackCommand(std::nullopt);

  console.ClearOutput();
  const std::string unwritable = dir / "no-such-folder/options.hex";
  EXPECT_EQ(Run({"-c", "--pn", "7", "-i", "small", "-o", "--get", "--fn", unwritable}), 1);
  EXPECT_TRUE(
      Printed("Getting Option bytes  data \t\t\t\t [OK] \n"
              "Saving Option bytes  data \t\t\t\t [KO] \n"))
      << console.Output();

  console.ClearOutput();
  twin->Model().SetNackCommand(0x21);
  EXPECT_EQ(Run({"-c", "--pn", "7", "-i", "small", "-r", "--a", "8000000"}), 1);
  EXPECT_TRUE(Printed("run fails \n"));
}

TEST_F(FlashLoaderArguments, TheUsageAndTheParserAgreeOnTheLineStates) {
  StartTwin();
  EXPECT_EQ(
      Run({"-c", "--pn", "7", "-Rts", "--State", "Hi", "-Dtr", "--State", "Lo", "-Rts", "--Lo"}), 0)
      << console.Output();
  EXPECT_EQ(console.Output(),
            "Opening Port \t\t\t\t [OK] \nSet Rts line \t\t\t\t [OK] \n"
            "Reset Dtr line \t\t\t\t [OK] \nReset Rts line \t\t\t\t [OK] \n");
  console.ClearOutput();
  EXPECT_EQ(Run({"-c", "--pn", "7", "-Rts", "--State", "High"}), 1);
  EXPECT_TRUE(
      Printed("bad parameter [Set Rts line] should be Hi or Lo  \t\t\t\t [KO] \n"
              "bad parameter [High] \n"))
      << console.Output();
}

TEST_F(FlashLoaderArguments, UploadChecksTheFileFormatBeforeReadingTheFlash) {
  StartTwin();
  twin->Model().Program(0x08000000, PatternBytes(4 * 2048, 12));
  twin->Model().ClearCommands();
  EXPECT_EQ(Run({"-c", "--pn", "7", "-i", "small", "-u", "--fn", dir / "flash.txt"}), 1);
  EXPECT_TRUE(Printed("cannot write to file " + dir / "flash.txt" +
                      " : name it .hex, .s19, .srec, .s28, .s37, .mot or .bin \n"))
      << console.Output();
  EXPECT_FALSE(Sent(0x11)) << "nothing read";
  EXPECT_FALSE(fs::exists(dir / "flash.txt"));
}

TEST_F(FlashLoaderArguments, UploadWritesEveryUsualSRecordName) {
  StartTwin();
  const std::vector<uint8_t> content = PatternBytes(4 * 2048, 13);
  twin->Model().Program(0x08000000, content);
  for (const char* name : {"up.srec", "up.S28", "up.s37", "up.mot", "up.s19"}) {
    SCOPED_TRACE(name);
    const std::string path = dir / name;
    ASSERT_EQ(Run({"-c", "--pn", "7", "-i", "small", "-u", "--fn", path}), 0) << console.Output();
    // Read by another tool as Motorola S-records.
    const std::string binary = dir / "from-srec.bin";
    const PeerResult peer = RunPeer("objcopy", {"-I", "srec", "-O", "binary", path, binary});
    ASSERT_EQ(peer.status, 0) << peer.output;
    EXPECT_EQ(ReadBytes(binary), content);
  }
}

TEST_F(FlashLoaderArguments, AnImageWithNothingForTheFlashIsRefusedBeforeTheErase) {
  StartTwin();
  const std::vector<uint8_t> old = PatternBytes(512, 14);
  twin->Model().Program(0x08000000, old);
  CFirmImage outside;
  outside.elements.push_back({0x20000000, 64, PatternBytes(64, 15)});  // RAM, not in the map
  ASSERT_EQ(saveImageFile(dir / "ram.hex", outside), kImageSuccess);
  WriteFile(dir / "empty.hex", "");
  WriteFile(dir / "eof-only.hex", ":00000001FF\n");
  for (const char* name : {"ram.hex", "empty.hex", "eof-only.hex"}) {
    SCOPED_TRACE(name);
    console.ClearOutput();
    twin->Model().ClearCommands();
    const std::string path = dir / name;
    EXPECT_EQ(Run({"-c", "--pn", "7", "-i", "small", "-e", "--all", "-d", "--fn", path, "--v",
                   "--o", "-r", "--a", "8000000"}),
              1);
    EXPECT_TRUE(Printed("file " + path +
                        " holds no data for the flash of this device; nothing was erased or "
                        "written: check that the file is made for this device \n"))
        << console.Output();
    EXPECT_FALSE(Printed("ERASING"));
    EXPECT_FALSE(Sent(0x43)) << "no erase";
    EXPECT_FALSE(Sent(0x21)) << "no start";
    const auto flash = twin->Model().Flash();
    EXPECT_EQ(std::vector<uint8_t>(flash.begin(), flash.begin() + 512), old);
  }
  // Without an erase before it, the download refuses it all the same.
  console.ClearOutput();
  EXPECT_EQ(Run({"-c", "--pn", "7", "-i", "small", "-d", "--fn", dir / "ram.hex"}), 1);
  EXPECT_TRUE(Printed("holds no data for the flash of this device"));
  EXPECT_FALSE(Printed("downloading"));
}

TEST_F(FlashLoaderArguments, AMissingOrBrokenDownloadFileLeavesTheFlashUnerased) {
  StartTwin();
  twin->Model().Program(0x08000000, {0x12, 0x34});
  WriteFile(dir / "broken.hex", ":10000000ZZ\n");
  EXPECT_EQ(Run({"-c", "--pn", "7", "-i", "small", "-e", "--all", "-d", "--fn", dir / "gone.hex"}),
            1);
  EXPECT_TRUE(Printed("file does not exist " + dir / "gone.hex" + " \n"));
  console.ClearOutput();
  EXPECT_EQ(
      Run({"-c", "--pn", "7", "-i", "small", "-e", "--all", "-d", "--fn", dir / "broken.hex"}), 1);
  EXPECT_TRUE(Printed("cannot open file " + dir / "broken.hex" + " \n"));
  EXPECT_FALSE(Sent(0x43));
  EXPECT_EQ(twin->Model().Flash()[0], 0x12);
}

TEST_F(FlashLoaderArguments, ConnectOpensTheNamedNumberAtItsRateWithEvenParity) {
  // A pseudo-terminal keeps the rate and the stop bits but always reports
  // 8 bits without parity, so the parity is read from the link's port.
  PtyPair line;
  setenv("PUPDATE_PORT_MAP", ("COM3=" + line.SlavePath()).c_str(), 1);
  const CRS232& port = TheBootloaderLink().port();
  ASSERT_EQ(Run({"-c", "--pn", "3", "--br", "115200"}), 0) << console.Output();
  EXPECT_EQ(line.LineBaudRate(), 115200);
  EXPECT_FALSE(line.LineSettings().c_cflag & CSTOPB);
  EXPECT_EQ(port.portNumber, 3);
  EXPECT_EQ(port.baudRate, 115200);
  EXPECT_EQ(port.dataBits, 8);
  EXPECT_EQ(port.parity, 2);
  EXPECT_EQ(port.stopBits, 1.0f);

  ASSERT_EQ(Run({"-c", "--pn", "3", "--pr", "NONE", "--sb", "2"}), 0);
  EXPECT_EQ(port.parity, 0);
  EXPECT_TRUE(line.LineSettings().c_cflag & CSTOPB);
  // SPACE is no parity the loader knows: it becomes EVEN.
  ASSERT_EQ(Run({"-c", "--pn", "3", "--pr", "SPACE"}), 0);
  EXPECT_EQ(line.LineBaudRate(), 57600);
  EXPECT_EQ(port.parity, 2);
  EXPECT_FALSE(line.LineSettings().c_cflag & (PARODD | CMSPAR));
}
