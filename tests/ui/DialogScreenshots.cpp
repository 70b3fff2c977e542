// Renders the dialogs as a user sees them. With PUPDATE_SCREENSHOT_DIR set
// (scripts/screenshots.sh) the pictures are saved there as PNG files.
#include <QApplication>
#include <QComboBox>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "TestFiles.h"
#include "TestUpdateServer.h"
#include "app/Settings.h"
#include "app/ui/ConsoleWindowHost.h"
#include "app/ui/MessageBox.h"
#include "app/ui/QtSettingsStore.h"
#include "app/ui/UpdateSelectFileDlg.h"
#include "app/ui/WinUIDlg.h"
#include "net/ServerBaseUrl.h"

using namespace pellux;

namespace {
// The widget's picture under a plain title bar that shows its window title.
QImage Framed(QWidget& widget) {
  const QPixmap content = widget.grab();
  constexpr int kTitleHeight = 26;
  QImage image(content.width() + 2, content.height() + kTitleHeight + 1, QImage::Format_RGB32);
  image.fill(QColor(0x3c, 0x3c, 0x3c));
  QPainter painter(&image);
  painter.setPen(Qt::white);
  QFont font = widget.font();
  font.setPointSize(8);
  painter.setFont(font);
  painter.drawText(QRect(8, 0, content.width() - 8, kTitleHeight), Qt::AlignVCenter,
                   widget.windowTitle());
  painter.drawPixmap(1, kTitleHeight, content);
  return image;
}

bool Save(const QImage& image, const char* name) {
  const QByteArray folder = qgetenv("PUPDATE_SCREENSHOT_DIR");
  if (folder.isEmpty()) return true;
  return image.save(QString::fromLocal8Bit(folder) + QLatin1Char('/') + QLatin1String(name));
}
}  // namespace

class DialogScreenshots : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    qputenv("XDG_CONFIG_HOME", config_.path().string().c_str());
    qputenv("PUPDATE_PORT_MAP", "COM3=/dev/null,COM4=/dev/null");
    workDir_ = std::make_unique<ScopedCurrentDir>(work_.path());
    previousStore_ = SetSettingsStore(&store_);
    server_ = std::make_unique<TestUpdateServer>();
    server_->AddRootFile("machlist.txt",
                         "Alpha Profile Bender,APB\nNew R2 Bender,NR2\nPlain Rim,PLAINRIM\n"
                         "Profile Notcher,PROFILENOTCHER\n");
    server_->AddFile("NR2", "FIRMWARE", "NR2_V2.14.hex", std::string(300000, 'F'));
    server_->AddFile("NR2", "FPGA", "NR2_FPGA_V7.bin", std::string(200000, 'G'));
    server_->AddFile("NR2", "SERVO", "NR2_X_axis.csv", "servo");
    server_->AddFile("NR2", "SERVO", "NR2_Y_axis.csv", "servo");
    SaveSetting("MachineType", "New R2 Bender");
  }
  void cleanupTestCase() {
    server_.reset();
    SetSettingsStore(previousStore_);
    workDir_.reset();
  }

  void compactAndEngineerViews() {
    WinUIDlg dialog("PelluxUpdateV3");
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QImage compact = Framed(dialog);
    QVERIFY(Save(compact, "main-compact.png"));

    QTest::mouseDClick(&dialog, Qt::LeftButton, Qt::NoModifier, QPoint(dialog.width() - 4, 4));
    const QImage engineer = Framed(dialog);
    QVERIFY(Save(engineer, "main-engineer.png"));
    QVERIFY(engineer.height() > compact.height());
    QCOMPARE(engineer.width(), compact.width());
  }

  void localModeWithItsReason() {
    const std::string serverUrl = ServerBaseUrl();
    SetServerBaseUrl("http://127.0.0.1:1/");  // nothing listens there
    WinUIDlg dialog("PelluxUpdateV3");
    SetServerBaseUrl(serverUrl);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(Save(Framed(dialog), "main-local.png"));
  }

  void fileSelection() {
    UpdateSelectFileDlg dialog;
    dialog.SetJob("PUpdate-NR2-SERVO-COM3.exe", {"NR2_Y_axis.csv", "NR2_X_axis.csv"});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(Save(Framed(dialog), "select-file.png"));
  }

  void consoleWindowOfARunningJob() {
    TempDir programFolder;
    WinUIDlg dialog("PelluxUpdateV3");
    dialog.SetProgramFolder(programFolder.path());
    ScopedConsoleWindowHost windows;
    bool saved = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
      JobConsoleWindow* window = windows.host().Window();
      if (window == nullptr || saved) return;
      if (!window->ScreenText().contains(QStringLiteral("All file download complete."))) return;
      saved = Save(Framed(*window), "job-console.png");
      QTest::keyClick(window, Qt::Key_Return);
    });
    poll.start(20);
    dialog.MachineBox()->setCurrentIndex(dialog.MachineBox()->findText("New R2 Bender"));
    dialog.findChild<QPushButton*>(QStringLiteral("IDC_1009"))->click();
    QVERIFY(saved);
  }

 private:
  TempDir config_;
  TempDir work_;
  std::unique_ptr<ScopedCurrentDir> workDir_;
  QtSettingsStore store_;
  SettingsStore* previousStore_ = nullptr;
  std::unique_ptr<TestUpdateServer> server_;
};

QTEST_MAIN(DialogScreenshots)
#include "DialogScreenshots.moc"
