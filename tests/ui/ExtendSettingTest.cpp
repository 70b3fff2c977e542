// The extend setting dialogs against the board command twin on a
// pseudo-terminal, and the numeric box's typing rules.
#include <QApplication>
#include <QClipboard>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "CapturingConsole.h"
#include "RunningBoard.h"
#include "ScopedEnv.h"
#include "VirtualControlBoard.h"
#include "app/ui/MessageBox.h"
#include "boards/ui/CFloatEdit.h"
#include "boards/ui/ExtendSetting.h"
#include "boards/ui/ExtendSetting_NR2.h"
#include "boards/ui/ExtendSetting_R1PS.h"

using namespace pellux;

namespace {

// Records message boxes instead of showing them.
struct Messages {
  QStringList texts;
  ScopedMessageHook hook{[this](const QString& text, MessageIcon) { texts << text; }};
};

CFloatEdit* Box(QDialog& dialog, int id) {
  return dialog.findChild<CFloatEdit*>(QStringLiteral("id%1").arg(id));
}

void Click(QDialog& dialog, int id) {
  auto* button = dialog.findChild<QPushButton*>(QStringLiteral("id%1").arg(id));
  QVERIFY(button != nullptr);
  button->click();
}

QStringList BoxTexts(QDialog& dialog, int firstId, int lastId) {
  QStringList texts;
  for (int id = firstId; id <= lastId; ++id) texts << Box(dialog, id)->text();
  return texts;
}

std::vector<std::string> Strings(std::initializer_list<const char*> texts) {
  return {texts.begin(), texts.end()};
}

constexpr int kLoad = 1022;
constexpr int kSave = 1020;

}  // namespace

class ExtendSettingTest : public QObject {
  Q_OBJECT

  // Enter in a value box keeps the typed text and talks to no board; a
  // focused Load button still takes Enter.
  static void EnterStaysInTheBox(QDialog& dialog, RunningBoard& board) {
    Messages messages;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    CFloatEdit* box = Box(dialog, 1013);
    box->setFocus();
    QCOMPARE(dialog.focusWidget(), box);
    QTest::keyClicks(box, "12.5");
    QTest::keyClick(box, Qt::Key_Return);
    QTest::keyClick(box, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(box->text(), QStringLiteral("12.5"));
    QVERIFY(messages.texts.isEmpty());
    QVERIFY(board.line.Received().empty());
    QVERIFY(dialog.isVisible());

    auto* load = dialog.findChild<QPushButton*>(QStringLiteral("id%1").arg(kLoad));
    load->setFocus();
    QCOMPARE(dialog.focusWidget(), load);
    QTest::keyClick(load, Qt::Key_Return);
    QCOMPARE(messages.texts, QStringList{"Load complete."});
    QCOMPARE(box->text(), QStringLiteral("300.5"));
  }

 private slots:
  // A box shows the whole of what Save sends back ("%f": six decimals), so
  // no value is cut off after a Save.
  void boxesShowTheirWholeValues() {
    ExtendSetting_NR2 nr2("COM4");
    ExtendSetting_R1PS r1ps("COM4");
    const QString widest = QStringLiteral("-100.500000");
    for (QDialog* dialog : {static_cast<QDialog*>(&nr2), static_cast<QDialog*>(&r1ps)}) {
      dialog->show();
      QVERIFY(QTest::qWaitForWindowExposed(dialog));
      for (CFloatEdit* box : dialog->findChildren<CFloatEdit*>()) {
        box->setText(widest);
        box->setCursorPosition(0);
        const int needed = box->fontMetrics().horizontalAdvance(widest);
        // The text area inside the frame and the line edit's own margins.
        const int room = box->contentsRect().width() - box->textMargins().left() -
                         box->textMargins().right() - 4;
        QVERIFY2(needed <= room, qPrintable(QStringLiteral("%1 in %2: %3 > %4")
                                                .arg(box->objectName(), dialog->objectName())
                                                .arg(needed)
                                                .arg(room)));
      }
    }
  }

  void formsCarryTheirIdsAndTexts() {
    ExtendSetting_NR2 nr2("COM4");
    QCOMPARE(nr2.windowTitle(), QStringLiteral("NR2 Extend Setting"));
    for (int id : {1011, 1012, 1013, 1014, 1015, 1016, 1017, 1018, 1019, 1021}) {
      QVERIFY2(Box(nr2, id) != nullptr, qPrintable(QString::number(id)));
    }
    QCOMPARE(nr2.findChild<QPushButton*>("id1022")->text(), QStringLiteral("Load"));
    QCOMPARE(nr2.findChild<QPushButton*>("id1020")->text(), QStringLiteral("Save"));
    QCOMPARE(nr2.findChild<QPushButton*>("id2")->text(), QStringLiteral("Close"));

    ExtendSetting_R1PS r1ps("COM4");
    QCOMPARE(r1ps.windowTitle(), QStringLiteral("R1 with Punch Select Extend Setting"));
    QVERIFY(Box(r1ps, 1016) != nullptr);
    QVERIFY(Box(r1ps, 1017) == nullptr);
    QVERIFY(Box(r1ps, 1021) == nullptr);
  }

  void saveBeforeLoadAsksForLoadAndSendsNothing() {
    RunningBoard board(BoardCommandTwin::Model::kNR2);
    Messages messages;
    ExtendSetting_NR2 nr2("COM4");
    Click(nr2, kSave);
    ExtendSetting_R1PS r1ps("COM4");
    Click(r1ps, kSave);
    QCOMPARE(messages.texts, QStringList({"Load button click first.", "Load button click first."}));
    QVERIFY(board.line.Received().empty());
  }

  void nr2LoadFillsTheBoxes() {
    RunningBoard board(BoardCommandTwin::Model::kNR2);
    board.twin.SetPressSpeed("85.5");
    // Text lines and tokens between answers do not disturb them.
    board.twin.SetChatter("board ready\r\n#REG01&<12>\x06");
    CapturingConsole console;
    ScopedActiveConsole active(console);
    Messages messages;
    ExtendSetting_NR2 dialog("COM4");
    Click(dialog, kLoad);

    QCOMPARE(messages.texts, QStringList{"Load complete."});
    QVERIFY(dialog.IsLoaded());
    QCOMPARE(BoxTexts(dialog, 1011, 1019), QStringList({"100.5", "200.5", "300.5", "400.5", "500.5",
                                                        "600.5", "700.5", "800.5", "900.5"}));
    QCOMPARE(Box(dialog, 1021)->text(), QStringLiteral("85.5"));
    QCOMPARE(board.twin.Commands(), Strings({"1", "3"}));
    QCOMPARE(board.twin.Wakeups(), 1);
    QCOMPARE(board.twin.BadFrames(), 0);
    QCOMPARE(console.Output(), std::string("board ready\nboard ready\n"));
  }

  void nr2LoadsFromTheWholeControlBoard() {
    BoardCommandTwin twin(BoardCommandTwin::Model::kNR2);
    VirtualControlBoard board(nullptr, &twin);
    board.Start();
    ScopedEnv portMap("PUPDATE_PORT_MAP", "COM4=" + board.PortPath());
    Messages messages;
    ExtendSetting_NR2 dialog("COM4");
    Click(dialog, kLoad);
    QCOMPARE(messages.texts, QStringList{"Load complete."});
    QCOMPARE(Box(dialog, 1019)->text(), QStringLiteral("900.5"));
    QCOMPARE(Box(dialog, 1021)->text(), QStringLiteral("120.000000"));
    QVERIFY(board.CurrentMode() == VirtualControlBoard::Mode::Running);
  }

  void nr2SavedValuesReachTheBoardAsFixedTextAndLoadBack() {
    RunningBoard board(BoardCommandTwin::Model::kNR2);
    Messages messages;
    ExtendSetting_NR2 dialog("COM4");
    Click(dialog, kLoad);
    QCOMPARE(messages.texts, QStringList{"Load complete."});

    Box(dialog, 1011)->setText("12.3");
    Box(dialog, 1012)->setText("abc");  // pasted letters travel as 0
    Box(dialog, 1021)->setText("-7");
    Click(dialog, kSave);
    QCOMPARE(messages.texts.last(),
             QStringLiteral("Save complete.\r\nCheck the parameters was changed."));
    QVERIFY(board.twin.WaitForCommands(4));
    QCOMPARE(board.twin.Commands()[2],
             std::string("2,12.300000,0.000000,300.500000,400.500000,500.500000,600.500000,"
                         "700.500000,800.500000,900.500000"));
    QCOMPARE(board.twin.Commands()[3], std::string("4,-7.000000"));

    Box(dialog, 1011)->clear();
    Click(dialog, kLoad);
    QCOMPARE(messages.texts.last(), QStringLiteral("Load complete."));
    QCOMPARE(Box(dialog, 1011)->text(), QStringLiteral("12.300000"));
    QCOMPARE(Box(dialog, 1012)->text(), QStringLiteral("0.000000"));
    QCOMPARE(Box(dialog, 1021)->text(), QStringLiteral("-7.000000"));
  }

  void nr2SilentBoardGivesLoadFailAndKeepsTheLoadedState() {
    RunningBoard board(BoardCommandTwin::Model::kNR2);
    Messages messages;
    ExtendSetting_NR2 dialog("COM4");
    board.twin.SetSilent(true);
    Box(dialog, 1011)->setText("5");
    // The dialog keeps handling its events while it waits.
    bool timerRan = false;
    QTimer::singleShot(50, [&timerRan] { timerRan = true; });
    Click(dialog, kLoad);
    QVERIFY(timerRan);
    QCOMPARE(messages.texts, QStringList{"Load Fail"});
    QVERIFY(!dialog.IsLoaded());
    QCOMPARE(Box(dialog, 1011)->text(), QStringLiteral("5"));
    QCOMPARE(board.twin.Commands(), Strings({"1"}));  // no speed query after a failed one

    Click(dialog, kSave);
    QCOMPARE(messages.texts.last(), QStringLiteral("Load button click first."));
  }

  // An answer that fills no box is a failed Load, and Save stays refused:
  // the zeros of empty boxes never reach the board.
  void nr2AnswerOfTheWrongShapeIsALoadFail() {
    RunningBoard board(BoardCommandTwin::Model::kNR2);
    Messages messages;
    ExtendSetting_NR2 dialog("COM4");
    for (const char* answer : {"PUNCH_POS/1/2/3/4/5/6/7/8", "PUNCH_POSX/1/2/3/4/5/6/7/8/9"}) {
      board.twin.SetPunchAnswer(std::string(answer));
      Click(dialog, kLoad);
      QCOMPARE(messages.texts.last(), QStringLiteral("Load Fail"));
      QCOMPARE(Box(dialog, 1011)->text(), QString());
      QCOMPARE(Box(dialog, 1021)->text(), QStringLiteral("120.000000"));
    }
    QVERIFY(!dialog.IsLoaded());
    Click(dialog, kSave);
    QCOMPARE(messages.texts.last(), QStringLiteral("Load button click first."));
    QCOMPARE(board.twin.Commands(), Strings({"1", "3", "1", "3"}));
  }

  void r1psLoadsAndSavesSixPositionsOverItsOwnSequence() {
    RunningBoard board(BoardCommandTwin::Model::kR1PS);
    Messages messages;
    ExtendSetting_R1PS dialog("COM4");
    Click(dialog, kLoad);
    QCOMPARE(messages.texts, QStringList{"Load complete."});
    QCOMPARE(BoxTexts(dialog, 1011, 1016),
             QStringList({"100.5", "200.5", "300.5", "400.5", "500.5", "600.5"}));

    Box(dialog, 1016)->setText("66");
    Click(dialog, kSave);
    QCOMPARE(messages.texts.last(),
             QStringLiteral("Save complete.\r\nCheck the parameters was changed."));
    QVERIFY(board.twin.WaitForCommands(2));
    QCOMPARE(board.twin.Commands()[1],
             std::string("2,100.500000,200.500000,300.500000,400.500000,500.500000,66.000000"));
    Click(dialog, kLoad);
    QCOMPARE(Box(dialog, 1016)->text(), QStringLiteral("66.000000"));
    QCOMPARE(board.twin.Sequences(), (std::vector<int>{0, 1, 2}));
    QCOMPARE(board.twin.Wakeups(), 2);
  }

  void saveOnAPortThatDoesNotOpenIsRefused() {
    RunningBoard board(BoardCommandTwin::Model::kR1PS);
    Messages messages;
    ExtendSetting_R1PS dialog("COM4");
    Click(dialog, kLoad);
    ScopedEnv otherPort("PUPDATE_PORT_MAP", "COM4=/nonexistent/tty");
    Click(dialog, kSave);
    QCOMPARE(messages.texts, QStringList({"Load complete.", "Comm port open fail."}));
    QCOMPARE(board.twin.Commands(), Strings({"1"}));
  }

  void extendSettingChoosesByDisplayName() {
    Messages messages;
    RunExtendSetting("Plain Rim", "PR", "COM4");
    RunExtendSetting("New R2 Bender", "NONE", "COM4");
    QCOMPARE(messages.texts, QStringList{"This machine has no extend setting function."});

    QStringList titles;
    auto closeWhenShown = [&titles] {
      QTimer::singleShot(0, [&titles] {
        QWidget* modal = QApplication::activeModalWidget();
        QVERIFY(modal != nullptr);
        titles << modal->windowTitle();
        modal->close();
      });
    };
    closeWhenShown();
    RunExtendSetting("New R2 Bender", "NR2", "COM4");
    closeWhenShown();
    RunExtendSetting("R1 Bender with Puncher Selector", "R1PS", "COM4");
    QCOMPARE(titles, QStringList({"NR2 Extend Setting", "R1 with Punch Select Extend Setting"}));
  }

  void enterInAValueBoxNeitherLoadsNorSaves() {
    RunningBoard nr2Board(BoardCommandTwin::Model::kNR2);
    ExtendSetting_NR2 nr2("COM4");
    EnterStaysInTheBox(nr2, nr2Board);
  }

  void enterInAnR1psValueBoxNeitherLoadsNorSaves() {
    RunningBoard r1psBoard(BoardCommandTwin::Model::kR1PS);
    ExtendSetting_R1PS r1ps("COM4");
    EnterStaysInTheBox(r1ps, r1psBoard);
  }

  void floatEditTakesDigitsAndOnePoint() {
    CFloatEdit box;
    QTest::keyClicks(&box, "1.2.3");
    QCOMPARE(box.text(), QStringLiteral("1.23"));
    QTest::keyClicks(&box, "a x+e,");
    QCOMPARE(box.text(), QStringLiteral("1.23"));
    QTest::keyClick(&box, Qt::Key_Backspace);
    QCOMPARE(box.text(), QStringLiteral("1.2"));
    QTest::keyClick(&box, Qt::Key_Home);
    QTest::keyClick(&box, Qt::Key_Delete);
    QCOMPARE(box.text(), QStringLiteral(".2"));
  }

  // Typing over a selection is judged on the text it leaves.
  void floatEditTypesOverASelection() {
    CFloatEdit box;
    QTest::keyClicks(&box, "500.5");
    box.selectAll();
    QTest::keyClicks(&box, ".5");
    QCOMPARE(box.text(), QStringLiteral(".5"));
    box.setText("-12");
    box.setSelection(0, 2);
    QTest::keyClick(&box, '-');
    QCOMPARE(box.text(), QStringLiteral("-2"));
    QTest::keyClick(&box, Qt::Key_Home);
    QTest::keyClick(&box, '7');  // nothing before the minus
    QCOMPARE(box.text(), QStringLiteral("-2"));
  }

  void floatEditTakesMinusOnlyAtTheStart() {
    CFloatEdit box;
    QTest::keyClicks(&box, "12");
    QTest::keyClick(&box, '-');  // caret after a digit
    QCOMPARE(box.text(), QStringLiteral("12"));
    QTest::keyClick(&box, Qt::Key_Home);
    QTest::keyClick(&box, '-');
    QCOMPARE(box.text(), QStringLiteral("-12"));
    QTest::keyClick(&box, Qt::Key_Home);
    QTest::keyClick(&box, '-');  // one minus is enough
    QCOMPARE(box.text(), QStringLiteral("-12"));

    box.selectAll();
    QTest::keyClick(&box, '-');
    QCOMPARE(box.text(), QStringLiteral("-"));
    box.clear();
    QTest::keyClick(&box, '-');
    QCOMPARE(box.text(), QStringLiteral("-"));
  }

  void floatEditDiscardsClipboardKeys() {
    CFloatEdit box;
    box.setText("12");
    QApplication::clipboard()->setText("999");
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("999"));

    box.selectAll();
    QTest::keyClick(&box, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(box.text(), QStringLiteral("12"));
    QTest::keyClick(&box, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("999"));
    box.setCursorPosition(2);
    QTest::keyClick(&box, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(box.text(), QStringLiteral("12"));
  }
};

QTEST_MAIN(ExtendSettingTest)
#include "ExtendSettingTest.moc"
