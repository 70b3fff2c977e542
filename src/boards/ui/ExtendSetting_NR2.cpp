#include "boards/ui/ExtendSetting_NR2.h"

#include <QPushButton>

#include "app/ui/MessageBox.h"
#include "boards/CCamVer1.h"
#include "boards/ExtendSettingText.h"
#include "boards/ui/BoardExchange.h"
#include "boards/ui/CFloatEdit.h"
#include "ui_ExtendSetting_NR2.h"

namespace pellux {

namespace {

constexpr uint8_t kQueryWakeup = 0x0F;
constexpr int kPunchAnswerWaitMs = 5000;
constexpr int kSpeedAnswerWaitMs = 1000;
constexpr int kAfterSetMs = 1000;

void WriteFrame(CCamVer1& board, const std::string& frame) {
  board.Write(frame.data(), frame.size());
}

}  // namespace

ExtendSetting_NR2::ExtendSetting_NR2(std::string portName, QWidget* parent)
    : ExtendSettingDialog(parent),
      ui_(std::make_unique<Ui::ExtendSetting_NR2>()),
      portName_(std::move(portName)) {
  ui_->setupUi(this);
  punchBoxes_ = {ui_->id1011, ui_->id1012, ui_->id1013, ui_->id1014, ui_->id1015,
                 ui_->id1016, ui_->id1017, ui_->id1018, ui_->id1019};
  speedBox_ = ui_->id1021;
  connect(ui_->id1022, &QPushButton::clicked, this, &ExtendSetting_NR2::OnLoad);
  connect(ui_->id1020, &QPushButton::clicked, this, &ExtendSetting_NR2::OnSave);
  connect(ui_->id2, &QPushButton::clicked, this, &QDialog::reject);
}

ExtendSetting_NR2::~ExtendSetting_NR2() = default;

void ExtendSetting_NR2::OnLoad() {
  CCamVer1 board(ExchangeCancellation());
  board.Configure(BoardLineSettings(portName_));
  board.Open();  // a port that did not open shows as a missing answer

  board.WriteByte(kQueryWakeup);
  WriteFrame(board, CCamVer1::BuildCommandFrame("1"));
  if (!WaitForBoardAnswer(board, kPunchAnswerWaitMs)) {
    ShowMessage(QStringLiteral("Load Fail"));
    return;
  }
  if (const auto fields = AnswerFields(board.AnswerText(), "PUNCH_POS", punchBoxes_.size() + 1)) {
    for (size_t i = 0; i < punchBoxes_.size(); ++i) {
      punchBoxes_[i]->setText(QString::fromStdString((*fields)[i]));
    }
  }

  WriteFrame(board, CCamVer1::BuildCommandFrame("3"));
  if (!WaitForBoardAnswer(board, kSpeedAnswerWaitMs)) {
    ShowMessage(QStringLiteral("Load Fail"));
    return;
  }
  if (const auto fields = AnswerFields(board.AnswerText(), "PRESS_SPEED", 2)) {
    speedBox_->setText(QString::fromStdString(fields->front()));
  }

  board.Close();
  ShowMessage(QStringLiteral("Load complete."));
  loaded_ = true;
}

void ExtendSetting_NR2::OnSave() {
  if (!loaded_) {
    ShowMessage(QStringLiteral("Load button click first."));
    return;
  }
  std::vector<float> punches;
  for (const CFloatEdit* box : punchBoxes_)
    punches.push_back(BoxTextToFloat(box->text().toStdString()));
  const float speed = BoxTextToFloat(speedBox_->text().toStdString());

  CCamVer1 board(ExchangeCancellation());
  board.Configure(BoardLineSettings(portName_));
  if (!board.Open()) {
    ShowMessage(QStringLiteral("Comm port open fail."));
    return;
  }
  WriteFrame(board, CCamVer1::BuildCommandFrame(SetCommandText(2, punches)));
  PauseKeepingPainted(kAfterSetMs);
  WriteFrame(board, CCamVer1::BuildCommandFrame(SetCommandText(4, {speed})));
  PauseKeepingPainted(kAfterSetMs);

  board.Close();
  ShowMessage(QStringLiteral("Save complete.\r\nCheck the parameters was changed."));
}

}  // namespace pellux
