// Jobs started from the dialogs are logged like console jobs: the log
// decorator over the job console window.
#include <QTimer>
#include <QtTest>

#include <filesystem>

#include "ScopedEnv.h"
#include "TestFiles.h"
#include "app/ui/ConsoleWindowHost.h"
#include "base/JobConsole.h"
#include "jobs/ConsoleRunner.h"
#include "jobs/LoggingConsoleHost.h"

using namespace pellux;

class DialogJobLogTest : public QObject {
  Q_OBJECT

 private slots:
  void aWindowJobLeavesItsTranscript() {
    TempDir dir;
    ScopedEnv logDir("PUPDATE_LOG_DIR", dir.path().string());
    ScopedConsoleWindowHost windows;
    ScopedJobLog logs("PelluxUpdateV3 test", LoggingConsoleHost::ClosingLineBy::Console);

    // Answers the job's prompt in its window, as the user would.
    bool answered = false;
    QString finalScreen;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
      JobConsoleWindow* window = windows.host().Window();
      if (!window) return;
      if (window->AwaitingDismissal() && finalScreen.isEmpty()) {
        // The window keeps the result until the user closes it.
        finalScreen = window->ScreenText();
        QTest::keyClick(window, Qt::Key_Return);
        return;
      }
      if (answered) return;
      if (!window->ScreenText().contains(QStringLiteral("press enter key"))) return;
      QTest::keyClick(window, Qt::Key_Return);
      answered = true;
    });
    timer.start(10);

    const bool result = RunInConsole(
        [](const CancelToken& cancel, JobConsole& console) {
          console.Write("\r\n[ FPGA Update mode ] - PUPDATE-NR2-FPGA-COM3\r\n");
          for (int block = 1; block <= 3; ++block) console.Printf("\r%d/3", block);
          console.Write("\r\nAnd press enter key...\r\n");
          return console.ReadKey(cancel) == '\n';
        },
        "PUPDATE-NR2-FPGA-COM3");
    QVERIFY(answered);
    QVERIFY(result);
    // The log's line, then the result as the window's last line.
    QVERIFY2(finalScreen.contains(QStringLiteral("\nLog: ")), qPrintable(finalScreen));
    QVERIFY2(finalScreen.endsWith(QStringLiteral("\nComplete\n")), qPrintable(finalScreen));

    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      files.push_back(entry.path());
    }
    QCOMPARE(files.size(), size_t{1});
    QVERIFY(files[0].filename().string().ends_with("_PUPDATE-NR2-FPGA-COM3.log"));
    QCOMPARE(QString::fromStdString(logs.ClosingLine()),
             QStringLiteral("Log: ") + QString::fromStdString(files[0].string()));

    // Each line after its time stamp, for comparison.
    QStringList texts;
    const QString content = QString::fromStdString(ReadFile(files[0].string()));
    QVERIFY(!content.contains(QLatin1Char('\r')));
    for (const QString& line : content.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
      texts << line.mid(25);  // "2026-12-08 23:45:01.250  "
    }
    QCOMPARE(texts,
             QStringList({QStringLiteral("PelluxUpdateV3 test, job PUPDATE-NR2-FPGA-COM3"),
                          QString(), QStringLiteral("[ FPGA Update mode ] - PUPDATE-NR2-FPGA-COM3"),
                          QStringLiteral("3/3"), QStringLiteral("And press enter key..."),
                          QStringLiteral("(key: Enter)"), QStringLiteral("Complete")}));
  }
};

QTEST_MAIN(DialogJobLogTest)
#include "DialogJobLogTest.moc"
