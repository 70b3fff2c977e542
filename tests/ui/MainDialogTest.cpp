#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <filesystem>
#include <mutex>

#include "CapturingConsole.h"
#include "ScopedEnv.h"
#include "TestFiles.h"
#include "TestUpdateServer.h"
#include "app/Settings.h"
#include "app/ui/ConsoleWindowHost.h"
#include "app/ui/MessageBox.h"
#include "app/ui/QtSettingsStore.h"
#include "app/ui/UpdateSelectFileDlg.h"
#include "app/ui/WinUIDlg.h"
#include "jobs/LoggingConsoleHost.h"
#include "jobs/UpdateStep.h"
#include "net/ServerBaseUrl.h"

using namespace pellux;

namespace {

struct Message {
  QString text;
  MessageIcon icon;
};

struct Selection {
  std::string jobSpec;
  std::vector<std::string> fileNames;
  std::string statusLine;
};

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

// The targets the dialog asked for, the machine list fetch left out.
std::vector<std::string> ListRequests(const TestUpdateServer& server) {
  std::vector<std::string> targets;
  for (const std::string& target : server.RequestTargets()) {
    if (target != "/machlist.txt") targets.push_back(target);
  }
  return targets;
}

template <class Button>
Button* Control(const QWidget& dialog, const char* name) {
  auto* control = dialog.findChild<Button*>(QString::fromLatin1(name));
  if (control == nullptr) qFatal("no control %s", name);
  return control;
}

void Choose(QComboBox* box, const QString& text) {
  const int index = box->findText(text);
  QVERIFY2(index >= 0, qPrintable(text));
  box->setCurrentIndex(index);
}

// The text of every log file in `folder`, one after the other.
std::string LogsIn(const std::filesystem::path& folder) {
  std::string text;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    text += ReadFile(entry.path().string());
  }
  return text;
}

// The status line's text fits inside the window and stays clear of `above`.
void CheckStatusLineBelow(const QDialog& dialog, const QWidget& above) {
  auto* status = Control<QLabel>(dialog, "statusLine");
  QVERIFY(!status->isHidden());
  QVERIFY(status->y() > above.geometry().bottom());
  QVERIFY(status->y() + status->heightForWidth(status->width()) <= dialog.height());
  QVERIFY(status->geometry().bottom() + 1 >= dialog.height());  // nothing peeks out below it
}

}  // namespace

class MainDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    // Lists and jobs keep their temporary files in the current directory.
    workDir_ = std::make_unique<ScopedCurrentDir>(work_.path());
    qputenv("XDG_CONFIG_HOME", config_.path().string().c_str());
    qputenv("PUPDATE_PORT_MAP", "COM3=/dev/null,COM7=/dev/null");
    previousStore_ = SetSettingsStore(&store_);
  }
  void cleanupTestCase() {
    SetSettingsStore(previousStore_);
    workDir_.reset();
  }
  void init() {
    std::filesystem::remove(QtSettingsStore::IniFilePath().toStdString());
    messages_.clear();
    selections_.clear();
    // No test may wait for a user to close a message box.
    messageHook_ = std::make_unique<ScopedMessageHook>(RecordMessages());
  }
  void cleanup() { messageHook_.reset(); }

  void twoMachinesWithTheStoredOnePreselectedInACompactView() {
    TestUpdateServer server;
    server.AddRootFile("machlist.txt", "New R2 Bender,NR2\nPlain Rim,PLAINRIM\n");
    SaveSetting("MachineType", "plain");
    WinUIDlg dialog("PelluxUpdateV3.exe");

    QCOMPARE(dialog.MachineBox()->count(), 2);
    QCOMPARE(dialog.MachineBox()->currentText(), QStringLiteral("Plain Rim"));
    QCOMPARE(dialog.windowTitle(),
             QString::fromStdString("PelluxUpdateV3 (V251112) - " + server.BaseUrl()));
    QCOMPARE(Control<QPushButton>(dialog, "IDC_1004")->text(), QStringLiteral("Online Update"));
    QVERIFY(Control<QRadioButton>(dialog, "IDC_1000")->isChecked());
    QVERIFY(dialog.PortBox()->findText(QStringLiteral("COM3")) >= 0);
    QVERIFY(dialog.PortBox()->currentIndex() == 0);
    QVERIFY(Contains(server.RequestTargets(), "/machlist.txt"));

    const QRect online = Control<QPushButton>(dialog, "IDC_1004")->geometry();
    // The window edge, a 3-pixel frame included, lies 13 pixels below the button.
    QCOMPARE(dialog.height() + 3, online.bottom() + 1 + 13);
    QVERIFY(Control<QPushButton>(dialog, "IDC_1006")->geometry().top() >= dialog.height());
    QVERIFY(dialog.FullSize().height() > dialog.height());
  }

  void anUnreachableServerSaysWhyLocalModeUnderTheControlsAndInTheLog() {
    TempDir logs;
    ScopedEnv logDir("PUPDATE_LOG_DIR", logs.path().string());
    std::string closedUrl;
    {
      TestUpdateServer gone;
      closedUrl = gone.BaseUrl();
    }
    const std::string previousUrl = ServerBaseUrl();
    SetServerBaseUrl(closedUrl);
    std::unique_ptr<WinUIDlg> dialog;
    {
      ScopedJobLog jobLogs("PelluxUpdateV3 test", LoggingConsoleHost::ClosingLineBy::Console);
      dialog = std::make_unique<WinUIDlg>("PelluxUpdateV3");
    }
    SetServerBaseUrl(previousUrl);

    QCOMPARE(Control<QPushButton>(*dialog, "IDC_1004")->text(), QStringLiteral("Local Update"));
    QCOMPARE(dialog->windowTitle(),
             QString::fromStdString("PelluxUpdateV3 (V251112) - " + closedUrl));
    const QString status = Control<QLabel>(*dialog, "statusLine")->text();
    QVERIFY2(status.startsWith(QString::fromStdString("Local mode: no machine list from " +
                                                      closedUrl + "machlist.txt (")),
             qPrintable(status));
    QVERIFY2(status.endsWith(QStringLiteral(
                 "). Check the network and the server, then start the program again.")),
             qPrintable(status));
    // The fetch's own words stand in the brackets.
    QVERIFY2(!status.contains(QStringLiteral("()")), qPrintable(status));
    CheckStatusLineBelow(*dialog, *Control<QPushButton>(*dialog, "IDC_1004"));
    // The compact view grew by the status line only.
    QVERIFY(dialog->height() < dialog->FullSize().height());

    const std::string log = LogsIn(logs.path());
    QVERIFY2(log.find("PelluxUpdateV3 test, DIALOG") != std::string::npos, log.c_str());
    QVERIFY2(log.find(status.toStdString()) != std::string::npos, log.c_str());

    // Engineer view: the line moves under the last row of buttons.
    QTest::mouseDClick(dialog.get(), Qt::LeftButton);
    QVERIFY(dialog->Model().IsEngineerView());
    CheckStatusLineBelow(*dialog, *Control<QPushButton>(*dialog, "IDC_1009"));
    QVERIFY(dialog->height() > dialog->FullSize().height());
  }

  void noStatusLineWhenTheServerAnswers() {
    TestUpdateServer server;
    server.AddRootFile("machlist.txt", "New R2 Bender,NR2\n");
    WinUIDlg dialog("PelluxUpdateV3");
    QVERIFY(Control<QLabel>(dialog, "statusLine")->isHidden());
    QTest::mouseDClick(&dialog, Qt::LeftButton);
    QCOMPARE(dialog.size(), dialog.FullSize());
    // Local mode by name says so; it is no failure, so no log.
    WinUIDlg local("PelluxUpdateV3L");
    QCOMPARE(Control<QLabel>(local, "statusLine")->text(),
             QStringLiteral("Local mode: the program's name ends in L."));
  }

  void anEmptySelectFileListSaysWhy() {
    TempDir logs;
    ScopedEnv logDir("PUPDATE_LOG_DIR", logs.path().string());
    TestUpdateServer server;
    server.AddRootFile("machlist.txt", "New R2 Bender,NR2\n");
    server.SetList("NR2", "STEP", {}, false);  // a list without a file
    WinUIDlg dialog("PelluxUpdateV3");
    dialog.SetFileSelectionRunner(RecordSelections());
    ScopedJobLog jobLogs("PelluxUpdateV3 test", LoggingConsoleHost::ClosingLineBy::Console);
    Control<QPushButton>(dialog, "IDC_1011")->click();  // no SERVO folder: HTTP 404
    Control<QPushButton>(dialog, "IDC_1012")->click();
    QCOMPARE(selections_.size(), size_t(2));
    QVERIFY(selections_[0].fileNames.empty());
    const std::string& failed = selections_[0].statusLine;
    QVERIFY2(failed.rfind("No file list for NR2 SERVO from the server (", 0) == 0, failed.c_str());
    QVERIFY2(failed.find("404") != std::string::npos, failed.c_str());
    QCOMPARE(selections_[1].statusLine, std::string("The server lists no file for NR2 STEP."));
    const std::string log = LogsIn(logs.path());
    QVERIFY2(log.find(failed) != std::string::npos, log.c_str());
    QVERIFY2(log.find("no file for NR2 STEP") == std::string::npos, log.c_str());
  }

  void theChoiceSurvivesARestart() {
    TestUpdateServer server;
    server.AddRootFile("machlist.txt", "Alpha,APB\nBeta,BPB\nGamma,GAM\n");
    {
      WinUIDlg dialog("PelluxUpdateV3");
      QCOMPARE(dialog.MachineBox()->currentText(), QStringLiteral("Alpha"));
      // The user moves the selection with the keyboard.
      QTest::keyClick(dialog.MachineBox(), Qt::Key_Down);
      QTest::keyClick(dialog.MachineBox(), Qt::Key_Down);
      QCOMPARE(dialog.MachineBox()->currentText(), QStringLiteral("Gamma"));
    }
    QVERIFY(ReadFile(QtSettingsStore::IniFilePath().toStdString()).find("MachineType=Gamma") !=
            std::string::npos);
    WinUIDlg restarted("PelluxUpdateV3");
    QCOMPARE(restarted.MachineBox()->currentText(), QStringLiteral("Gamma"));

    // A stored name that matches nothing leaves no machine selected: refused.
    SaveSetting("MachineType", "Delta");
    WinUIDlg unmatched("PelluxUpdateV3");
    QCOMPARE(unmatched.MachineBox()->currentIndex(), -1);
    server.ClearRequests();
    Control<QPushButton>(unmatched, "IDC_1004")->click();
    QCOMPARE(messages_.size(), size_t(1));
    QCOMPARE(messages_[0].text, QStringLiteral("No machine type is selected."));
    QVERIFY(server.RequestTargets().empty());
  }

  void customOpensTheFileSelection() {
    TestUpdateServer server;
    server.AddRootFile("machlist.txt", "Custom Machine,CUSTOM\n");
    server.SetList("CUSTOM", "FIRMWARE", {"b.hex", "a.hex"});
    WinUIDlg dialog("PelluxUpdateV3");
    QStringList offered;
    QString caption;
    // The real selection dialog opens; look at it and close it.
    QTimer::singleShot(0, [&] {
      auto* selection = qobject_cast<UpdateSelectFileDlg*>(QApplication::activeModalWidget());
      if (selection == nullptr) return;
      caption = selection->windowTitle();
      auto* box = selection->findChild<QComboBox*>(QStringLiteral("IDC_1006"));
      for (int i = 0; i < box->count(); ++i) offered << box->itemText(i);
      selection->reject();
    });
    Control<QPushButton>(dialog, "IDC_1004")->click();
    QCOMPARE(caption, QStringLiteral("Select File"));
    QCOMPARE(offered, (QStringList{QStringLiteral("b.hex"), QStringLiteral("a.hex")}));
    QVERIFY(Contains(server.RequestTargets(), "/filelist.php?MachineName=CUSTOM/FIRMWARE"));
  }

  void localModeByName() {
    TestUpdateServer server;
    server.AddRootFile("machlist.txt", "New R2 Bender,NR2\n");
    SaveSetting("MachineType", "New R2 Bender");
    WinUIDlg dialog("PelluxUpdateV3L.exe");
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(dialog.MachineBox()->count(), 1);
    QCOMPARE(dialog.MachineBox()->currentText(), QStringLiteral("Local Update"));
    QCOMPARE(Control<QPushButton>(dialog, "IDC_1004")->text(), QStringLiteral("Local Update"));
    // Fetched even in local mode.
    QVERIFY(Contains(server.RequestTargets(), "/machlist.txt"));

    const int compact = dialog.height();
    const QString title = dialog.windowTitle();
    QTest::keyClick(&dialog, Qt::Key_E, Qt::ControlModifier);
    QCOMPARE(dialog.height(), compact);
    QCOMPARE(dialog.windowTitle(), title);
    QTest::mouseDClick(&dialog, Qt::LeftButton, Qt::NoModifier, QPoint(dialog.width() - 4, 4));
    // All buttons, and the line that says why local mode, under them.
    QVERIFY(dialog.height() > dialog.FullSize().height());
    CheckStatusLineBelow(dialog, *Control<QPushButton>(dialog, "IDC_1009"));
    QCOMPARE(dialog.windowTitle(), title + QStringLiteral(" For Engineer"));

    // Online Update reads "Local Update" and picks a file on disk.
    std::string filterAsked;
    dialog.SetOpenFilePicker([&](const std::string& filter) {
      filterAsked = filter;
      return std::string("/data/new firmware.hex");
    });
    CapturingConsoleHost console;
    std::string stepFile;
    std::string stepPort;
    OverrideUpdateStep("FIRMWARE", [&](const JobSpec& job, const std::string& file,
                                       const CancelToken&, JobConsole&) {
      stepFile = file;
      stepPort = job.port;
      return true;
    });
    Control<QPushButton>(dialog, "IDC_1004")->click();
    OverrideUpdateStep("FIRMWARE", nullptr);
    QCOMPARE(filterAsked, std::string("Firmware (*.HEX) | *.HEX||"));
    QCOMPARE(stepFile, std::string("/data/new firmware.hex"));
    QCOMPARE(stepPort, dialog.PortBox()->currentText().toUpper().toStdString());
    QVERIFY(console.console.Output().find("PUPDATE-LOCAL-FIRMWARE-") != std::string::npos);
  }

  void localUpdateFiltersFollowTheRadio() {
    TestUpdateServer server;
    server.AddRootFile("machlist.txt", "New R2 Bender,NR2\n");
    WinUIDlg dialog("PelluxUpdateV3");
    std::vector<std::string> filters;
    dialog.SetOpenFilePicker([&](const std::string& filter) {
      filters.push_back(filter);
      return std::string();  // cancelled: nothing runs
    });
    for (const char* radio : {"IDC_1000", "IDC_1001", "IDC_1002", "IDC_1007"}) {
      Control<QRadioButton>(dialog, radio)->click();
      Control<QPushButton>(dialog, "IDC_1008")->click();
    }
    QCOMPARE(filters, (std::vector<std::string>{
                          "Firmware (*.HEX) | *.HEX||", "FPGA Rom (*.BIN) | *.BIN||",
                          "Firmware (*.HEX) | *.HEX||", "Application (*.ZIP) | *.ZIP||"}));
    QCOMPARE(QtNameFilters(filters[3]), QStringLiteral("Application (*.ZIP)"));
    QCOMPARE(QtNameFilters("A | *.a|B (*.b) |*.b||"), QStringLiteral("A (*.a);;B (*.b)"));
  }

  void applicationServoAndStepListTheirFiles() {
    TestUpdateServer server;
    server.AddRootFile("machlist.txt", "New R2 Bender,NR2\n");
    server.SetList("NR2", "APPLICATION", {"app.zip"});
    server.SetList("NR2", "SERVO", {"servo.csv"}, false);
    server.SetList("NR2", "STEP", {"step.rec"}, false);
    WinUIDlg dialog("PelluxUpdateV3");
    Choose(dialog.PortBox(), QStringLiteral("COM7"));
    dialog.SetFileSelectionRunner(RecordSelections());

    Control<QRadioButton>(dialog, "IDC_1007")->click();
    Control<QPushButton>(dialog, "IDC_1004")->click();
    Control<QPushButton>(dialog, "IDC_1006")->click();
    Control<QPushButton>(dialog, "IDC_1011")->click();
    Control<QPushButton>(dialog, "IDC_1012")->click();

    QCOMPARE(selections_.size(), size_t(4));
    QCOMPARE(selections_[0].jobSpec, std::string("PUpdate-NR2-APPLICATION-COM7.exe"));
    QCOMPARE(selections_[0].fileNames, std::vector<std::string>{"app.zip"});
    QCOMPARE(selections_[1].jobSpec, std::string("PUpdate-NR2-Application-COM7.exe"));
    QCOMPARE(selections_[2].jobSpec, std::string("PUpdate-NR2-SERVO-COM7.exe"));
    QCOMPARE(selections_[2].fileNames, std::vector<std::string>{"servo.csv"});
    QCOMPARE(selections_[3].jobSpec, std::string("PUpdate-NR2-STEP-COM7.exe"));
    QCOMPARE(selections_[3].fileNames, std::vector<std::string>{"step.rec"});
    QCOMPARE(ListRequests(server),
             (std::vector<std::string>{"/filelist.php?MachineName=NR2/APPLICATION",
                                       "/filelist.php?MachineName=NR2/APPLICATION",
                                       "/filelistx.php?MachineName=NR2/SERVO",
                                       "/filelistx.php?MachineName=NR2/STEP"}));
  }

  void downloadOnlineFilesFillsTheFolderTree() {
    TestUpdateServer server;
    server.AddRootFile("machlist.txt", "Slashed,abc/def\n");
    server.AddFile("ABC/DEF", "FIRMWARE", "fw.hex", "firmware bytes");
    server.AddFile("ABC/DEF", "SERVO", "ok.csv", "servo bytes");
    server.AddFile("ABC/DEF", "SERVO", "c:escape.csv", "drive-relative name");
    server.AddFile("ETC", "", "tool.txt", "shared bytes");
    TempDir programFolder;
    WinUIDlg dialog("PelluxUpdateV3");
    dialog.SetProgramFolder(programFolder.path());

    ScopedConsoleWindowHost windows;
    QString screen;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
      JobConsoleWindow* window = windows.host().Window();
      if (window == nullptr || !screen.isEmpty()) return;
      if (!window->ScreenText().contains(QStringLiteral("All file download complete."))) return;
      screen = window->ScreenText();
      QTest::keyClick(window, Qt::Key_Return);
    });
    poll.start(10);
    Control<QPushButton>(dialog, "IDC_1009")->click();
    poll.stop();

    const std::filesystem::path base = programFolder.path() / "ABC_DEF";
    QVERIFY(screen.contains(QString::fromStdString("Make Base Directory : " + base.string())));
    QVERIFY(screen.contains(QStringLiteral("Refused unsafe file name")));
    QCOMPARE(ReadFile((base / "FIRMWARE" / "fw.hex").string()), std::string("firmware bytes"));
    QCOMPARE(ReadFile((base / "SERVO" / "ok.csv").string()), std::string("servo bytes"));
    QCOMPARE(ReadFile((base / "ETC" / "tool.txt").string()), std::string("shared bytes"));
    for (const char* mode : {"FPGA", "STEP"}) QVERIFY(std::filesystem::is_directory(base / mode));
    QVERIFY(!std::filesystem::exists(base / "SERVO" / "c:escape.csv"));

    const std::vector<std::string> targets = server.RequestTargets();
    for (const char* mode : {"FIRMWARE", "FPGA", "SERVO", "STEP"}) {
      QVERIFY2(Contains(targets, std::string("/filelist.php?MachineName=ABC/DEF/") + mode), mode);
    }
    QVERIFY(Contains(targets, "/ABC/DEF/FIRMWARE/fw.hex"));
    QVERIFY(Contains(targets, "//ETC/tool.txt"));
    for (const std::string& target : targets) {
      QVERIFY2(target.find("filelistx") == std::string::npos, target.c_str());
      QVERIFY2(target.find("escape") == std::string::npos, target.c_str());
    }
  }

  void noneDoesNothing() {
    TestUpdateServer server;
    server.AddRootFile("machlist.txt", "Quiet,none\nOff,NONE\n");
    TempDir programFolder;
    WinUIDlg dialog("PelluxUpdateV3");
    dialog.SetProgramFolder(programFolder.path());
    dialog.SetFileSelectionRunner(RecordSelections());
    dialog.SetOpenFilePicker([](const std::string&) { return std::string("/x.hex"); });
    CapturingConsoleHost console;

    Choose(dialog.MachineBox(), QStringLiteral("Quiet"));
    Control<QPushButton>(dialog, "IDC_1009")->click();
    Choose(dialog.MachineBox(), QStringLiteral("Off"));
    for (const char* button :
         {"IDC_1004", "IDC_1006", "IDC_1008", "IDC_1009", "IDC_1011", "IDC_1012", "IDC_1013"}) {
      Control<QPushButton>(dialog, button)->click();
    }
    QVERIFY(ListRequests(server).empty());
    QVERIFY(std::filesystem::is_empty(programFolder.path()));
    QVERIFY(selections_.empty());
    QVERIFY(messages_.empty());
    QVERIFY(console.console.Output().empty());
  }

  void engineerTitleOnceAndExtendSetting() {
    TestUpdateServer server;
    server.AddRootFile("machlist.txt", "Plain Rim,PLAINRIM\n");
    WinUIDlg dialog("PelluxUpdateV3");
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    const QString title = dialog.windowTitle();
    QTest::keyClick(&dialog, Qt::Key_E, Qt::ControlModifier);
    QTest::keyClick(&dialog, Qt::Key_E, Qt::ControlModifier);
    QTest::mouseDClick(&dialog, Qt::LeftButton, Qt::NoModifier, QPoint(dialog.width() - 4, 4));
    QCOMPARE(dialog.windowTitle(), title + QStringLiteral(" For Engineer"));
    QCOMPARE(dialog.size(), dialog.FullSize());

    // A safety net: a message box that bypasses the hook must not hang the test.
    QTimer::singleShot(5000, [] {
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    Control<QPushButton>(dialog, "IDC_1013")->click();
    QCOMPARE(messages_.size(), size_t(1));
    QCOMPARE(messages_[0].text, QStringLiteral("This machine has no extend setting function."));
    QVERIFY(messages_[0].icon == MessageIcon::None);

    // Without a port the port's handlers refuse instead of guessing.
    dialog.PortBox()->setCurrentIndex(-1);
    Control<QPushButton>(dialog, "IDC_1004")->click();
    QCOMPARE(messages_.size(), size_t(2));
    QCOMPARE(messages_[1].text, QStringLiteral("No serial port is selected."));
  }

  void enterAndEscClose() {
    TestUpdateServer server;
    server.AddRootFile("machlist.txt", "Plain Rim,PLAINRIM\n");
    WinUIDlg enter("PelluxUpdateV3");
    enter.show();
    QVERIFY(QTest::qWaitForWindowActive(&enter));
    enter.MachineBox()->setFocus();
    QTest::keyClick(enter.MachineBox(), Qt::Key_Return);
    QVERIFY(!enter.isVisible());
    QCOMPARE(enter.result(), int(QDialog::Accepted));

    WinUIDlg escape("PelluxUpdateV3");
    escape.show();
    QVERIFY(QTest::qWaitForWindowActive(&escape));
    QTest::keyClick(&escape, Qt::Key_Escape);
    QVERIFY(!escape.isVisible());
  }

 private:
  MessageHook RecordMessages() {
    return [this](const QString& text, MessageIcon icon) { messages_.push_back({text, icon}); };
  }
  WinUIDlg::FileSelectionRunner RecordSelections() {
    return [this](const std::string& jobSpec, const ServerFileOffer& offer) {
      selections_.push_back({jobSpec, offer.fileNames, offer.statusLine});
    };
  }

  TempDir config_;
  TempDir work_;
  std::unique_ptr<ScopedCurrentDir> workDir_;
  QtSettingsStore store_;
  SettingsStore* previousStore_ = nullptr;
  std::vector<Message> messages_;
  std::vector<Selection> selections_;
  std::unique_ptr<ScopedMessageHook> messageHook_;
};

QTEST_MAIN(MainDialogTest)
#include "MainDialogTest.moc"
