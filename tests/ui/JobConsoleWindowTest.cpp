#include <QApplication>
#include <QFont>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <functional>
#include <thread>

#include "app/ui/ConsoleScreen.h"
#include "app/ui/ConsoleWindowHost.h"
#include "app/ui/JobConsoleWindow.h"
#include "base/Cancellation.h"
#include "base/JobConsole.h"
#include "jobs/ConsoleRunner.h"

using namespace pellux;

namespace {
// Calls `step` on the user interface thread every 10 ms while a job runs,
// with the job's console window, until it returns true. Once the job has
// ended and the window shows its result, the driver keeps the window's text
// and dismisses it with `dismissKey` (the close button when it is 0).
class WindowDriver {
 public:
  WindowDriver(ConsoleWindowHost& host, std::function<bool(JobConsoleWindow&)> step,
               int dismissKey = Qt::Key_Return)
      : host_(host), step_(std::move(step)), dismissKey_(dismissKey) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      JobConsoleWindow* window = host_.Window();
      if (window == nullptr) return;
      if (!done_) {
        done_ = step_(*window);
        return;
      }
      if (!window->AwaitingDismissal() || dismissed_) return;
      // Still there a few ticks after the job ended: it waits for the user.
      if (++ticksShown_ < 5) return;
      finalText_ = window->ScreenText();
      visibleAfterJob_ = window->isVisible();
      dismissed_ = true;
      if (dismissKey_ == 0) {
        window->close();
      } else {
        QTest::keyClick(window, static_cast<Qt::Key>(dismissKey_));
      }
    });
    timer_.start(10);
  }
  bool done() const { return done_; }
  bool dismissed() const { return dismissed_; }
  bool visibleAfterJob() const { return visibleAfterJob_; }
  // The window's text when the job had ended.
  const QString& finalText() const { return finalText_; }

 private:
  ConsoleWindowHost& host_;
  std::function<bool(JobConsoleWindow&)> step_;
  int dismissKey_;
  QTimer timer_;
  bool done_ = false;
  bool dismissed_ = false;
  bool visibleAfterJob_ = false;
  int ticksShown_ = 0;
  QString finalText_;
};

QString LastLine(const QString& text) {
  QStringList lines = text.split(QLatin1Char('\n'));
  while (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
  return lines.isEmpty() ? QString() : lines.back();
}
}  // namespace

class JobConsoleWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void screenRewritesLinesLikeATerminal() {
    ConsoleScreen screen;
    screen.Apply(QStringLiteral("Download [....] 0%\r"));
    screen.Apply(QStringLiteral("Download [##..] 50%\rDownload [####] 100%\r\n"));
    screen.Apply(QStringLiteral("abc\rX\n"));
    screen.Apply(QStringLiteral("typo\b\bpe\b\b\b\b\b\bok"));
    QCOMPARE(screen.Text(), QStringLiteral("Download [####] 100%\nXbc\nokpe"));
    QCOMPARE(screen.TakeFirstChangedLine(), 0);
    QCOMPARE(screen.TakeFirstChangedLine(), -1);
    screen.Apply(QStringLiteral("\r\n"));
    QCOMPARE(screen.TakeFirstChangedLine(), 3);
  }

  void showsTheJobsTextAndEnterAnswersItsPrompt() {
    ScopedConsoleWindowHost scoped;
    QString seen;
    bool modal = false;
    bool monospace = false;
    WindowDriver driver(scoped.host(), [&](JobConsoleWindow& window) {
      if (!window.ScreenText().contains(QStringLiteral("And press enter key..."))) return false;
      seen = window.ScreenText();
      modal = window.isVisible() && window.windowModality() == Qt::ApplicationModal;
      // What the window asks for; what fontconfig resolves depends on the
      // machine's fonts.
      const QFont font = window.findChild<QPlainTextEdit*>()->font();
      monospace = font.fixedPitch() && font.styleHint() == QFont::Monospace;
      QTest::keyClicks(&window, QStringLiteral("y"));
      QTest::keyClick(&window, Qt::Key_Return);
      return true;
    });
    std::atomic<int> key{0};
    const bool result = RunInConsole([&](const CancelToken& cancel, JobConsole& console) {
      console.Write("[ FIRMWARE Update mode ]\r\n");
      for (int percent = 0; percent <= 100; percent += 5) {
        console.Printf("\r%3d%% [%-20s]", percent, std::string(percent / 5, '#').c_str());
      }
      console.Write("\r\n\xC3");  // a character split over two writes
      console.Write("\xA9t\xC3\xA9\r\n");
      console.Write("And press enter key...\r\n");
      key = console.ReadKey(cancel);
      return true;
    });
    QVERIFY(driver.done());
    QVERIFY(result);
    QCOMPARE(key.load(), int('y'));
    QCOMPARE(seen, QStringLiteral("[ FIRMWARE Update mode ]\n100% [####################]\n"
                                  "\u00e9t\u00e9\nAnd press enter key...\n"));
    QVERIFY(modal);
    QVERIFY(monospace);
    QVERIFY(scoped.host().Window() == nullptr);  // gone once dismissed
  }

  void ctrlCCancelsAWaitingJob() {
    ScopedConsoleWindowHost scoped;
    WindowDriver driver(scoped.host(), [](JobConsoleWindow& window) {
      if (!window.ScreenText().contains(QStringLiteral("waiting"))) return false;
      QTest::keyClick(&window, Qt::Key_C, Qt::ControlModifier);
      return true;
    });
    std::atomic<int> key{0};
    const bool result = RunInConsole([&](const CancelToken& cancel, JobConsole& console) {
      console.Write("waiting\r\n");
      key = console.ReadKey(cancel);
      return true;
    });
    QVERIFY(driver.done());
    QVERIFY(!result);
    QCOMPARE(key.load(), -1);
    // The next run starts uncancelled.
    QVERIFY(!JobCancellation().IsCancelled());
  }

  void closingTheWindowCancelsAndItStaysUntilTheJobEnds() {
    ScopedConsoleWindowHost scoped;
    bool stayedOpen = false;
    WindowDriver driver(scoped.host(), [&](JobConsoleWindow& window) {
      if (!window.ScreenText().contains(QStringLiteral("busy"))) return false;
      window.close();
      stayedOpen = window.isVisible();
      return true;
    });
    std::atomic<bool> sawCancel{false};
    const bool result = RunInConsole([&](const CancelToken& cancel, JobConsole& console) {
      console.Write("busy\r\n");
      while (cancel.SleepFor(std::chrono::milliseconds(20))) {
      }
      sawCancel = cancel.IsCancelled();
      return true;
    });
    QVERIFY(driver.done());
    QVERIFY(!result);
    QVERIFY(sawCancel.load());
    QVERIFY(stayedOpen);
  }

  void aFailedJobKeepsItsErrorLineUntilEscape() {
    ScopedConsoleWindowHost scoped;
    WindowDriver driver(
        scoped.host(), [](JobConsoleWindow&) { return true; }, Qt::Key_Escape);
    const bool result = RunInConsole([] {
      ConsoleWrite("FPGA file open failed.");  // a text without a line end
      return false;
    });
    QVERIFY(!result);
    QVERIFY(driver.dismissed());
    QVERIFY(driver.visibleAfterJob());
    QCOMPARE(driver.finalText(), QStringLiteral("FPGA file open failed.\nError\n"));
    QVERIFY(scoped.host().Window() == nullptr);
  }

  void aSuccessfulJobEndsWithCompleteUntilEnter() {
    ScopedConsoleWindowHost scoped;
    WindowDriver driver(
        scoped.host(), [](JobConsoleWindow&) { return true; }, Qt::Key_Return);
    const bool result = RunInConsole([] {
      ConsoleWrite("Board FPGA Upgrade process success.\r\n");
      return true;
    });
    QVERIFY(result);
    QVERIFY(driver.visibleAfterJob());
    QCOMPARE(LastLine(driver.finalText()), QStringLiteral("Complete"));
  }

  void aCancelledJobSaysSoOnceAndTheCloseButtonDismissesIt() {
    ScopedConsoleWindowHost scoped;
    WindowDriver driver(
        scoped.host(),
        [](JobConsoleWindow& window) {
          if (!window.ScreenText().contains(QStringLiteral("busy"))) return false;
          QTest::keyClick(&window, Qt::Key_C, Qt::ControlModifier);
          return true;
        },
        0);
    const bool result = RunInConsole([](const CancelToken& cancel, JobConsole& console) {
      console.Write("busy\r\n");
      while (cancel.SleepFor(std::chrono::milliseconds(20))) {
      }
      return true;
    });
    QVERIFY(!result);
    QVERIFY(driver.visibleAfterJob());
    QCOMPARE(LastLine(driver.finalText()), QStringLiteral("Cancelled"));
    QCOMPARE(driver.finalText().count(QStringLiteral("Cancelled.")), 1);
    QVERIFY(!driver.finalText().contains(QStringLiteral("Error")));
  }

  void theWindowHoldsAHundredColumnsAndCanBeResized() {
    ScopedConsoleWindowHost scoped;
    int width = 0;
    int hundredColumns = 0;
    bool resizable = false;
    WindowDriver driver(scoped.host(), [&](JobConsoleWindow& window) {
      auto* view = window.findChild<QPlainTextEdit*>();
      width = view->viewport()->width();
      hundredColumns = QFontMetrics(view->font()).horizontalAdvance(QString(100, QLatin1Char('M')));
      resizable = window.isSizeGripEnabled() && window.minimumWidth() < window.maximumWidth();
      return true;
    });
    RunInConsole([] { return true; });
    QVERIFY2(width >= hundredColumns,
             qPrintable(QStringLiteral("%1 < %2").arg(width).arg(hundredColumns)));
    QVERIFY(resizable);
  }

  void longLinesWrapAtTheWindowsWidthAndTheEndStaysInView() {
    JobConsoleWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* view = window.findChild<QPlainTextEdit*>();
    const QString columns = QString(96, QLatin1Char('=')) + QStringLiteral("[OK]");
    const QString advice = QStringLiteral(
        "No upgrade mode announcement ('C') from the control board on COM3 "
        "(/dev/ttyUSB0) yet: turn the board's power off and on, or press Ctrl+C "
        "to stop.");
    for (int i = 0; i < 60; ++i) window.ShowText(QStringLiteral("line %1\r\n").arg(i));
    window.ShowText(columns + QStringLiteral("\r\n") + advice + QStringLiteral("\r\n"));
    QApplication::processEvents();
    // Blocks are the lines the job wrote; line 60 is the hundred columns.
    const auto rowsOf = [&](int line) {
      return view->document()->findBlockByNumber(line).layout()->lineCount();
    };
    QCOMPARE(rowsOf(60), 1);
    QVERIFY2(rowsOf(61) >= 2, qPrintable(QString::number(rowsOf(61))));
    QVERIFY(view->horizontalScrollBar()->maximum() == 0);  // nothing lies beyond the right edge

    QScrollBar* scroll = view->verticalScrollBar();
    QCOMPARE(scroll->value(), scroll->maximum());
    const QSize start = window.size();
    // Narrower than a hundred columns is refused; the columns stay whole.
    window.resize(start.width() / 2, start.height() / 2);
    QApplication::processEvents();
    QCOMPARE(window.width(), start.width());
    QCOMPARE(rowsOf(60), 1);
    QCOMPARE(scroll->value(), scroll->maximum());
    // Wider: the advice fits on one line, and the end is still in view.
    window.resize(start.width() * 2, start.height());
    QApplication::processEvents();
    QCOMPARE(rowsOf(61), 1);
    QCOMPARE(scroll->value(), scroll->maximum());
    window.resize(start);
    QApplication::processEvents();
    QVERIFY(rowsOf(61) >= 2);
    QCOMPARE(scroll->value(), scroll->maximum());
    QVERIFY(scroll->maximum() > 0);
    window.AllowClose();
  }

  void escapeDoesNotCloseOrCancel() {
    ScopedConsoleWindowHost scoped;
    bool visibleAfterEsc = false;
    WindowDriver driver(scoped.host(), [&](JobConsoleWindow& window) {
      if (!window.ScreenText().contains(QStringLiteral("prompt"))) return false;
      QTest::keyClick(&window, Qt::Key_Escape);
      visibleAfterEsc = window.isVisible();
      QTest::keyClick(&window, Qt::Key_Enter);
      return true;
    });
    const bool result = RunInConsole([](const CancelToken& cancel, JobConsole& console) {
      console.Write("prompt\r\n");
      return console.ReadKey(cancel) == '\n';
    });
    QVERIFY(driver.done());
    QVERIFY(visibleAfterEsc);
    QVERIFY(result);
  }

  void writesFromOtherThreadsAllArrive() {
    ScopedConsoleWindowHost scoped;
    QString seen;
    WindowDriver driver(scoped.host(), [&](JobConsoleWindow& window) {
      if (!window.ScreenText().contains(QStringLiteral("done"))) return false;
      seen = window.ScreenText();
      QTest::keyClick(&window, Qt::Key_Return);
      return true;
    });
    const bool result = RunInConsole([](const CancelToken& cancel, JobConsole& console) {
      std::thread reader([] {
        for (int i = 0; i < 500; ++i) ConsoleWrite("r");
      });
      for (int i = 0; i < 500; ++i) ConsoleWrite("j");
      reader.join();
      ConsoleWrite("\r\ndone\r\n");
      console.ReadKey(cancel);
      return true;
    });
    QVERIFY(result);
    const QString first = seen.section(QLatin1Char('\n'), 0, 0);
    QCOMPARE(first.count(QLatin1Char('r')), 500);
    QCOMPARE(first.count(QLatin1Char('j')), 500);
  }
};

QTEST_MAIN(JobConsoleWindowTest)
#include "JobConsoleWindowTest.moc"
