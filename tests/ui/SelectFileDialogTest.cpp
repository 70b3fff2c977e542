#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "CapturingConsole.h"
#include "TestFiles.h"
#include "TestUpdateServer.h"
#include "app/ui/MessageBox.h"
#include "app/ui/UpdateSelectFileDlg.h"
#include "jobs/UpdateStep.h"

using namespace pellux;

namespace {
struct Message {
  QString text;
  MessageIcon icon;
};
}  // namespace

class SelectFileDialogTest : public QObject {
  Q_OBJECT

 private slots:
  // Jobs keep their temporary files in the current directory.
  void initTestCase() { workDir_ = std::make_unique<ScopedCurrentDir>(work_.path()); }
  void cleanupTestCase() { workDir_.reset(); }
  void init() {
    messages_.clear();
    stepFiles_.clear();
    OverrideUpdateStep("SERVO", [this](const JobSpec& job, const std::string& file,
                                       const CancelToken&, JobConsole&) {
      stepFiles_.push_back(job.machine + "/" + job.mode + "/" + job.port + ":" + file);
      return true;
    });
  }
  void cleanup() { OverrideUpdateStep("SERVO", nullptr); }

  void showsTheNamesUntrimmedWithTheFirstSelected() {
    UpdateSelectFileDlg dialog;
    dialog.SetJob("PUpdate-NR2-SERVO-COM3.exe", {" spaced.csv ", "b.csv", "c.csv"});
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Select File"));
    QComboBox* box = Box(dialog);
    QCOMPARE(box->count(), 3);
    QCOMPARE(box->currentIndex(), 0);
    QCOMPARE(box->itemText(0), QStringLiteral(" spaced.csv "));
    QPushButton* ok = Button(dialog, "IDC_1005");
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QVERIFY(ok->isDefault());
    QCOMPARE(Button(dialog, "IDCANCEL")->text(), QStringLiteral("Close"));
  }

  void okRunsTheJobEachTimeAndKeepsTheDialogOpen() {
    TestUpdateServer server;
    server.AddFile("NR2", "SERVO", "old.csv", "old parameters");
    server.AddFile("NR2", "SERVO", "new.csv", "new parameters");
    CapturingConsoleHost console;
    ScopedMessageHook hook(RecordMessages());
    UpdateSelectFileDlg dialog;
    dialog.SetJob("PUpdate-NR2-SERVO-COM3.exe", {"new.csv", "old.csv"});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    Box(dialog)->setCurrentIndex(1);
    QTest::mouseClick(Button(dialog, "IDC_1005"), Qt::LeftButton);
    QTest::keyClick(&dialog, Qt::Key_Return);  // Enter presses OK too
    QVERIFY(dialog.isVisible());
    QCOMPARE(stepFiles_,
             (std::vector<std::string>{"NR2/SERVO/COM3:old.csv", "NR2/SERVO/COM3:old.csv"}));
    QVERIFY(messages_.empty());
    QVERIFY(console.console.Output().find("MD5 Check success.") != std::string::npos);
  }

  void enterOnAFocusedCloseClosesWithoutAJob() {
    TestUpdateServer server;
    server.AddFile("NR2", "SERVO", "a.csv", "parameters");
    CapturingConsoleHost console;
    ScopedMessageHook hook(RecordMessages());
    UpdateSelectFileDlg dialog;
    dialog.SetJob("PUpdate-NR2-SERVO-COM3.exe", {"a.csv"});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QPushButton* close = Button(dialog, "IDCANCEL");
    close->setFocus();
    QCOMPARE(dialog.focusWidget(), close);
    QTest::keyClick(close, Qt::Key_Return);
    QVERIFY(stepFiles_.empty());
    QVERIFY(console.console.Output().empty());
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
  }

  void aFailedJobShowsFail() {
    TestUpdateServer server;
    server.AddFile("NR2", "SERVO", "listed.csv", "x");
    CapturingConsoleHost console;
    ScopedMessageHook hook(RecordMessages());
    UpdateSelectFileDlg dialog;
    dialog.SetJob("PUpdate-NR2-SERVO-COM3.exe", {"withdrawn.csv"});
    Button(dialog, "IDC_1005")->click();
    QVERIFY(stepFiles_.empty());
    QCOMPARE(messages_.size(), size_t(1));
    QCOMPARE(messages_[0].text, QStringLiteral("Fail"));
    QVERIFY(messages_[0].icon == MessageIcon::Stop);
    QVERIFY(console.console.Output().find("Select file is not exist.") != std::string::npos);
  }

  void anEmptyListStartsNothing() {
    // No server: a job that started anyway would fail and show "Fail".
    CapturingConsoleHost console;
    ScopedMessageHook hook(RecordMessages());
    UpdateSelectFileDlg dialog;
    dialog.SetJob("PUpdate-NR2-SERVO-COM3.exe", {});
    QCOMPARE(Box(dialog)->currentIndex(), -1);
    Button(dialog, "IDC_1005")->click();
    QVERIFY(console.console.Output().empty());
    QVERIFY(messages_.empty());
  }

  void theStatusLineSaysWhyUnderTheButtons() {
    UpdateSelectFileDlg dialog;
    dialog.SetJob("PUpdate-NR2-SERVO-COM3.exe", {"a.csv"});
    auto* status = dialog.findChild<QLabel*>(QStringLiteral("statusLine"));
    QVERIFY(status->isHidden());
    const QSize plain = dialog.size();
    const std::string why =
        "No file list for NR2 SERVO from the server (Download failed: the server answered HTTP "
        "status 500.). Check the network and the server, then try again.";
    dialog.SetJob("PUpdate-NR2-SERVO-COM3.exe", {}, why);
    QVERIFY(!status->isHidden());
    QCOMPARE(status->text(), QString::fromStdString(why));
    QCOMPARE(dialog.width(), plain.width());
    QVERIFY(dialog.height() > plain.height());
    const QWidget* ok = Button(dialog, "IDC_1005");
    QVERIFY(status->y() > ok->geometry().bottom());
    QVERIFY(status->y() + status->heightForWidth(status->width()) <= dialog.height());
    // A later list with files takes the line away again.
    dialog.SetJob("PUpdate-NR2-SERVO-COM3.exe", {"a.csv"});
    QVERIFY(status->isHidden());
    QCOMPARE(dialog.size(), plain);
  }

 private:
  static QComboBox* Box(const QDialog& dialog) {
    return dialog.findChild<QComboBox*>(QStringLiteral("IDC_1006"));
  }
  static QPushButton* Button(const QDialog& dialog, const char* name) {
    return dialog.findChild<QPushButton*>(QString::fromLatin1(name));
  }
  MessageHook RecordMessages() {
    return [this](const QString& text, MessageIcon icon) { messages_.push_back({text, icon}); };
  }

  TempDir work_;
  std::unique_ptr<ScopedCurrentDir> workDir_;
  std::vector<Message> messages_;
  std::vector<std::string> stepFiles_;
};

QTEST_MAIN(SelectFileDialogTest)
#include "SelectFileDialogTest.moc"
