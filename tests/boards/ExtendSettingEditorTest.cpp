// The extend setting dialogs' behaviour without a window, against the board
// command twin on a pseudo-terminal.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "RunningBoard.h"
#include "ScopedEnv.h"
#include "boards/CCamVer1.h"
#include "boards/ExtendSettingEditor.h"

using namespace pellux;

namespace {

// Boxes and message boxes in memory; the waits block on the answer.
class RecordingView : public ExtendSettingView {
 public:
  explicit RecordingView(size_t boxes) : boxes(boxes, "empty") {}

  std::string BoxText(size_t box) const override { return boxes.at(box); }
  void SetBoxText(size_t box, const std::string& text) override { boxes.at(box) = text; }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  bool WaitForAnswer(CCamVer1& board, int milliseconds) override {
    std::mutex mutex;
    std::condition_variable answered;
    bool ready = false;
    board.SetAnswerListener([&] {
      std::lock_guard lock(mutex);
      ready = true;
      answered.notify_all();
    });
    {
      std::unique_lock lock(mutex);
      answered.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return ready; });
    }
    board.SetAnswerListener(nullptr);
    return board.TakeAnswerReady();
  }
  // The board reads no answer to a set command: nothing to wait for here.
  void Pause(int milliseconds) override { pauses.push_back(milliseconds); }

  std::vector<std::string> boxes;
  std::vector<std::string> messages;
  std::vector<int> pauses;
};

using Strings = std::vector<std::string>;

const Strings kNr2Loaded = {"100.5", "200.5", "300.5", "400.5", "500.5",
                            "600.5", "700.5", "800.5", "900.5", "120.000000"};

}  // namespace

TEST(ExtendSettingEditor, SaveBeforeALoadIsRefusedAndSendsNothing) {
  RunningBoard board(BoardCommandTwin::Model::kNR2);
  for (const ExtendSettingForm* form : {&Nr2ExtendSettingForm(), &R1psExtendSettingForm()}) {
    RecordingView view(form->boxIds.size());
    ExtendSettingEditor editor(*form, "COM4", view);
    editor.OnSave();
    EXPECT_EQ(view.messages, Strings{"Load button click first."});
  }
  EXPECT_TRUE(board.line.Received().empty());
}

TEST(ExtendSettingEditor, Nr2LoadsEveryBoxAndSavesThemAsFixedText) {
  RunningBoard board(BoardCommandTwin::Model::kNR2);
  RecordingView view(10);
  ExtendSettingEditor editor(Nr2ExtendSettingForm(), "COM4", view);
  editor.OnLoad();
  EXPECT_EQ(view.messages, Strings{"Load complete."});
  EXPECT_TRUE(editor.IsLoaded());
  EXPECT_EQ(view.boxes, kNr2Loaded);
  EXPECT_EQ(board.twin.Commands(), (Strings{"1", "3"}));
  EXPECT_EQ(board.twin.Wakeups(), 1);

  view.boxes[0] = "12.3";
  view.boxes[1] = "abc";  // pasted letters travel as 0
  view.boxes[9] = "-7";
  editor.OnSave();
  EXPECT_EQ(view.messages.back(), "Save complete.\r\nCheck the parameters was changed.");
  ASSERT_TRUE(board.twin.WaitForCommands(4));
  EXPECT_EQ(board.twin.Commands()[2],
            "2,12.300000,0.000000,300.500000,400.500000,500.500000,600.500000,700.500000,"
            "800.500000,900.500000");
  EXPECT_EQ(board.twin.Commands()[3], "4,-7.000000");
  EXPECT_EQ(view.pauses, (std::vector<int>{1000, 1000}));
  EXPECT_EQ(board.twin.PressSpeed(), "-7.000000");
  EXPECT_EQ(board.twin.BadFrames(), 0);
}

// An answer of the wrong shape fills no box: the Load fails and Save stays
// refused, so zeros never reach the board's punch positions.
TEST(ExtendSettingEditor, AWrongShapedAnswerIsALoadFailAndSaveStaysRefused) {
  RunningBoard board(BoardCommandTwin::Model::kNR2);
  for (const char* answer : {"PUNCH_POS/1/2/3/4/5/6/7/8", "PUNCH_POSX/1/2/3/4/5/6/7/8/9"}) {
    board.twin.SetPunchAnswer(std::string(answer));
    RecordingView view(10);
    ExtendSettingEditor editor(Nr2ExtendSettingForm(), "COM4", view);
    editor.OnLoad();
    EXPECT_EQ(view.messages, Strings{"Load Fail"}) << answer;
    EXPECT_FALSE(editor.IsLoaded());
    // The speed answer was well formed and fills its box all the same.
    EXPECT_EQ(view.boxes[0], "empty");
    EXPECT_EQ(view.boxes[9], "120.000000");
    editor.OnSave();
    EXPECT_EQ(view.messages.back(), "Load button click first.");
  }
  for (const std::string& command : board.twin.Commands())
    EXPECT_TRUE(command == "1" || command == "3");
}

TEST(ExtendSettingEditor, ASpeedAnswerOfTheWrongShapeKeepsSaveRefused) {
  RunningBoard board(BoardCommandTwin::Model::kNR2);
  board.twin.SetPressSpeed("85/5");
  RecordingView view(10);
  ExtendSettingEditor editor(Nr2ExtendSettingForm(), "COM4", view);
  editor.OnLoad();
  EXPECT_EQ(view.messages, Strings{"Load Fail"});
  EXPECT_EQ(view.boxes[8], "900.5");  // what was filled keeps its new text
  EXPECT_EQ(view.boxes[9], "empty");
  EXPECT_FALSE(editor.IsLoaded());
}

TEST(ExtendSettingEditor, ASilentBoardIsALoadFailAndALaterFailureKeepsTheLoadedState) {
  RunningBoard board(BoardCommandTwin::Model::kNR2);
  RecordingView view(10);
  ExtendSettingEditor editor(Nr2ExtendSettingForm(), "COM4", view);
  board.twin.SetSilent(true);
  editor.OnLoad();
  EXPECT_EQ(view.messages, Strings{"Load Fail"});
  EXPECT_EQ(board.twin.Commands(), Strings{"1"});  // no speed query after a failed one
  EXPECT_FALSE(editor.IsLoaded());

  board.twin.SetSilent(false);
  editor.OnLoad();
  EXPECT_TRUE(editor.IsLoaded());
  board.twin.SetPunchAnswer("PUNCH_POS/1");
  editor.OnLoad();
  EXPECT_EQ(view.messages, (Strings{"Load Fail", "Load complete.", "Load Fail"}));
  EXPECT_TRUE(editor.IsLoaded());
  EXPECT_EQ(view.boxes, kNr2Loaded);
}

TEST(ExtendSettingEditor, R1psUsesOneLinkWithItsOwnSequence) {
  RunningBoard board(BoardCommandTwin::Model::kR1PS);
  RecordingView view(6);
  ExtendSettingEditor editor(R1psExtendSettingForm(), "COM4", view);
  editor.OnLoad();
  EXPECT_EQ(view.boxes, (Strings{"100.5", "200.5", "300.5", "400.5", "500.5", "600.5"}));
  view.boxes[5] = "66";
  editor.OnSave();
  ASSERT_TRUE(board.twin.WaitForCommands(2));
  EXPECT_EQ(board.twin.Commands()[1],
            "2,100.500000,200.500000,300.500000,400.500000,500.500000,66.000000");
  editor.OnLoad();
  EXPECT_EQ(view.boxes[5], "66.000000");
  EXPECT_EQ(board.twin.Sequences(), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(board.twin.Wakeups(), 2);
  EXPECT_EQ(view.messages,
            (Strings{"Load complete.", "Save complete.\r\nCheck the parameters was changed.",
                     "Load complete."}));
}

TEST(ExtendSettingEditor, APortThatDoesNotOpenOnSaveIsRefused) {
  RunningBoard board(BoardCommandTwin::Model::kR1PS);
  RecordingView view(6);
  ExtendSettingEditor editor(R1psExtendSettingForm(), "COM4", view);
  editor.OnLoad();
  ScopedEnv otherPort("PUPDATE_PORT_MAP", "COM4=/nonexistent/tty");
  editor.OnSave();
  EXPECT_EQ(view.messages, (Strings{"Load complete.", "Comm port open fail."}));
  EXPECT_EQ(board.twin.Commands(), Strings{"1"});
}

TEST(ExtendSettingChoice, ByTheExactDisplayName) {
  using Kind = ExtendSettingChoice::Kind;
  EXPECT_EQ(ChooseExtendSetting("New R2 Bender", "NR2").form, &Nr2ExtendSettingForm());
  EXPECT_EQ(ChooseExtendSetting("R1 Bender with Puncher Selector", "X").form,
            &R1psExtendSettingForm());
  EXPECT_EQ(ChooseExtendSetting("new r2 bender", "NR2").kind, Kind::NoFunction);
  EXPECT_EQ(ChooseExtendSetting("Plain Rim", "PR").kind, Kind::NoFunction);
  EXPECT_EQ(ChooseExtendSetting("New R2 Bender", "NONE").kind, Kind::Nothing);
  EXPECT_EQ(Nr2ExtendSettingForm().templateId, 107);
  EXPECT_EQ(R1psExtendSettingForm().templateId, 108);
}
