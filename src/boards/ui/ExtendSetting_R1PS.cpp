#include "boards/ui/ExtendSetting_R1PS.h"

#include <QPushButton>

#include "app/ui/MessageBox.h"
#include "boards/ExtendSettingText.h"
#include "boards/ui/BoardExchange.h"
#include "boards/ui/CFloatEdit.h"
#include "ui_ExtendSetting_R1PS.h"

namespace pellux {

namespace {

constexpr uint8_t kQueryWakeup = 0x0F;
constexpr int kPunchAnswerWaitMs = 5000;
constexpr int kAfterSetMs = 1000;

}  // namespace

ExtendSetting_R1PS::ExtendSetting_R1PS(std::string portName, QWidget* parent)
    : ExtendSettingDialog(parent),
      ui_(std::make_unique<Ui::ExtendSetting_R1PS>()),
      portName_(std::move(portName)),
      board_(ExchangeCancellation()) {
  ui_->setupUi(this);
  punchBoxes_ = {ui_->id1011, ui_->id1012, ui_->id1013, ui_->id1014, ui_->id1015, ui_->id1016};
  connect(ui_->id1022, &QPushButton::clicked, this, &ExtendSetting_R1PS::OnLoad);
  connect(ui_->id1020, &QPushButton::clicked, this, &ExtendSetting_R1PS::OnSave);
  connect(ui_->id2, &QPushButton::clicked, this, &QDialog::reject);
}

ExtendSetting_R1PS::~ExtendSetting_R1PS() = default;

void ExtendSetting_R1PS::OnLoad() {
  board_.Configure(BoardLineSettings(portName_));
  board_.Open();  // a port that did not open shows as a missing answer

  board_.WriteByte(kQueryWakeup);
  board_.SendCommand(CCamVer1::kCommandGroup, "1");
  if (!WaitForBoardAnswer(board_, kPunchAnswerWaitMs)) {
    ShowMessage(QStringLiteral("Load Fail"));
    board_.Close();
    return;
  }
  if (const auto fields = AnswerFields(board_.AnswerText(), "PUNCH_POS", punchBoxes_.size() + 1)) {
    for (size_t i = 0; i < punchBoxes_.size(); ++i) {
      punchBoxes_[i]->setText(QString::fromStdString((*fields)[i]));
    }
  }
  board_.Close();
  ShowMessage(QStringLiteral("Load complete."));
  loaded_ = true;
}

void ExtendSetting_R1PS::OnSave() {
  if (!loaded_) {
    ShowMessage(QStringLiteral("Load button click first."));
    return;
  }
  std::vector<float> punches;
  for (const CFloatEdit* box : punchBoxes_)
    punches.push_back(BoxTextToFloat(box->text().toStdString()));

  board_.Configure(BoardLineSettings(portName_));
  if (!board_.Open()) {
    ShowMessage(QStringLiteral("Comm port open fail."));
    return;
  }
  board_.SendCommand(CCamVer1::kCommandGroup, SetCommandText(2, punches));
  PauseKeepingPainted(kAfterSetMs);

  board_.Close();
  ShowMessage(QStringLiteral("Save complete.\r\nCheck the parameters was changed."));
}

}  // namespace pellux
