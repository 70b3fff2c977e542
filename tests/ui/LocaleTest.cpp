// Dialog mode on a German desktop: the numbers the jobs print and read keep
// their '.' although Qt hands the user's locale to the C library.
#include <QLocale>
#include <QtTest>

#include <clocale>
#include <cstdlib>
#include <regex>

#include "../flash/Stm32TwinFixture.h"
#include "CapturingConsole.h"
#include "TestFiles.h"
#include "TestUpdateServer.h"
#include "app/ui/DialogApplication.h"
#include "base/FormatText.h"
#include "base/JobConsole.h"
#include "flash/FlashLoader.h"
#include "flash/FlashLoaderTokens.h"
#include "images/FirmImage.h"
#include "net/HttpDownload.h"

using namespace pellux;

class LocaleTest : public QObject {
  Q_OBJECT

 private slots:
  void theDesktopIsGerman() {
    const char* ctype = std::setlocale(LC_CTYPE, nullptr);
    QVERIFY2(ctype && std::string(ctype) == "de_DE.UTF-8",
             "de_DE.UTF-8 is not generated on this machine: run scripts/test-locale.sh");
    QCOMPARE(QLocale::system().decimalPoint(), QStringLiteral(","));
    QCOMPARE(std::string(std::setlocale(LC_NUMERIC, nullptr)), std::string("C"));
  }

  void printedAndParsedNumbersKeepTheirPoint() {
    QCOMPARE(FormatText("%.2f MB/s", 1.5), std::string("1.50 MB/s"));
    QCOMPARE(ParseFraction("1.5"), 1.5f);
  }

  void aDownloadShowsItsRateWithAPoint() {
    TestUpdateServer server;
    server.AddFile("NR2", "FIRMWARE", "image.bin", std::string(300'000, 'x'));
    TempDir dir;
    CapturingConsole console;
    ScopedActiveConsole active(console);
    QVERIFY(DownloadFile(server.BaseUrl() + "NR2/FIRMWARE/image.bin", dir / "image.bin"));
    const std::string out = console.Output();
    QVERIFY2(std::regex_search(
                 out, std::regex(R"(\(100%\) [0-9]+\.[0-9]{2} MB/s \([0-9]+\.[0-9]{2} s\))")),
             out.c_str());
    QVERIFY2(!std::regex_search(out, std::regex("[0-9],[0-9]")), out.c_str());
  }

  void theFlashLoaderShowsSizesWithAPoint() {
    TempDir dir;
    ScopedCurrentDir cwd(dir.path());
    auto twin = StartStm32Twin();
    WriteFile(dir / "small.map", SmallMap(2));
    CFirmImage image;
    image.elements.push_back({0x08000000, 256, PatternBytes(256, 1)});
    QCOMPARE(saveImageFile(dir / "app.hex", image), kImageSuccess);
    CapturingConsole console;
    ScopedActiveConsole active(console);
    console.CloseInput();
    const std::string hex = dir / "app.hex";
    const char* const texts[] = {"exefile", "-c", "--pn", "7",        "-i",
                                 "small",   "-d", "--fn", hex.c_str()};
    QCOMPARE(runFlashLoader(int(std::size(texts)), texts), 0);
    const std::string out = console.Output();
    QVERIFY2(out.find("size 0.25(KB)") != std::string::npos, out.c_str());
  }
};

int main(int argc, char** argv) {
  // The user's desktop locale, as a German session sets it.
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  setenv("LANG", "de_DE.UTF-8", 1);
  DialogApplication application(argc, argv);
  LocaleTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "LocaleTest.moc"
