#include "boards/ExtendSettingEditor.h"

#include <vector>

#include "boards/BoardLine.h"
#include "boards/CCamVer1.h"
#include "boards/ExtendSettingText.h"

namespace pellux {

namespace {
constexpr uint8_t kQueryWakeup = 0x0F;
constexpr int kAfterSetMs = 1000;
}  // namespace

ExtendSettingEditor::ExtendSettingEditor(const ExtendSettingForm& form, std::string portName,
                                         ExtendSettingView& view)
    : form_(form), portName_(std::move(portName)), view_(view) {
  if (form_.link == BoardLinkLife::DialogLife) dialogLink_ = std::make_unique<CCamVer1>(exchanges_);
}

ExtendSettingEditor::~ExtendSettingEditor() = default;

CCamVer1& ExtendSettingEditor::Link(std::unique_ptr<CCamVer1>& fresh) {
  if (dialogLink_) return *dialogLink_;
  fresh = std::make_unique<CCamVer1>(exchanges_);
  return *fresh;
}

void ExtendSettingEditor::Send(CCamVer1& board, const std::string& text) {
  if (form_.link == BoardLinkLife::DialogLife) {
    board.SendCommand(CCamVer1::kCommandGroup, text);
    return;
  }
  const std::string frame = CCamVer1::BuildCommandFrame(text);
  board.Write(frame.data(), frame.size());
}

void ExtendSettingEditor::OnLoad() {
  std::unique_ptr<CCamVer1> fresh;
  CCamVer1& board = Link(fresh);
  board.Configure(BoardLineSettings(portName_));
  board.Open();  // a port that did not open shows as a missing answer

  bool filledEveryBox = true;
  for (const ExtendSettingQuery& query : form_.queries) {
    if (query.wakeUpFirst) board.WriteByte(kQueryWakeup);
    Send(board, query.command);
    if (!view_.WaitForAnswer(board, query.waitMilliseconds)) {
      board.Close();
      view_.ShowMessage(kLoadFail);
      return;
    }
    const auto values = AnswerFields(board.AnswerText(), query.answerKey, query.boxCount + 1);
    if (!values) {
      filledEveryBox = false;
      continue;
    }
    for (size_t i = 0; i < query.boxCount; ++i) view_.SetBoxText(query.firstBox + i, (*values)[i]);
  }
  board.Close();
  if (!filledEveryBox) {
    view_.ShowMessage(kLoadFail);
    return;
  }
  loaded_ = true;
  view_.ShowMessage(kLoadComplete);
}

void ExtendSettingEditor::OnSave() {
  if (!loaded_) {
    view_.ShowMessage(kLoadFirst);
    return;
  }
  std::vector<float> values;
  for (size_t box = 0; box < form_.boxIds.size(); ++box)
    values.push_back(BoxTextToFloat(view_.BoxText(box)));

  std::unique_ptr<CCamVer1> fresh;
  CCamVer1& board = Link(fresh);
  board.Configure(BoardLineSettings(portName_));
  if (!board.Open()) {
    view_.ShowMessage(kPortOpenFail);
    return;
  }
  for (const ExtendSettingSet& set : form_.sets) {
    const std::vector<float> run(
        values.begin() + static_cast<std::ptrdiff_t>(set.firstBox),
        values.begin() + static_cast<std::ptrdiff_t>(set.firstBox + set.boxCount));
    Send(board, SetCommandText(set.command, run));
    view_.Pause(kAfterSetMs);
  }
  board.Close();
  view_.ShowMessage(kSaveComplete);
}

}  // namespace pellux
