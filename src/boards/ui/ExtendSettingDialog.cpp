#include "boards/ui/ExtendSettingDialog.h"

#include <QKeyEvent>
#include <QPushButton>

#include "app/ui/DialogUnits.h"
#include "app/ui/MessageBox.h"
#include "boards/ui/BoardExchange.h"
#include "boards/ui/CFloatEdit.h"

namespace pellux {

namespace {
constexpr int kDialogFontPoints = 9;

QString IdName(int id) {
  return QStringLiteral("id%1").arg(id);
}
}  // namespace

ExtendSettingDialog::ExtendSettingDialog(const ExtendSettingForm& form, std::string portName,
                                         QWidget* parent)
    : QDialog(parent), editor_(form, std::move(portName), *this) {}

void ExtendSettingDialog::Bind() {
  setFont(DialogFont(kDialogFontPoints));
  LayOutFromDialogUnits(*this);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  for (const int id : editor_.Form().boxIds) boxes_.push_back(findChild<CFloatEdit*>(IdName(id)));
  connect(findChild<QPushButton*>(IdName(kLoadButtonId)), &QPushButton::clicked, this,
          [this] { editor_.OnLoad(); });
  connect(findChild<QPushButton*>(IdName(kSaveButtonId)), &QPushButton::clicked, this,
          [this] { editor_.OnSave(); });
  connect(findChild<QPushButton*>(IdName(kCloseButtonId)), &QPushButton::clicked, this,
          &QDialog::reject);
}

std::string ExtendSettingDialog::BoxText(size_t box) const {
  return boxes_.at(box)->text().toStdString();
}

void ExtendSettingDialog::SetBoxText(size_t box, const std::string& text) {
  boxes_.at(box)->setText(QString::fromStdString(text));
}

void ExtendSettingDialog::ShowMessage(const std::string& text) {
  pellux::ShowMessage(QString::fromStdString(text));
}

bool ExtendSettingDialog::WaitForAnswer(CCamVer1& board, int milliseconds) {
  return WaitForBoardAnswer(board, milliseconds);
}

void ExtendSettingDialog::Pause(int milliseconds) {
  PauseKeepingPainted(milliseconds);
}

void ExtendSettingDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    // A focused button clicks itself before the dialog sees the key; what
    // reaches the dialog comes from a value box.
    if (auto* button = qobject_cast<QPushButton*>(focusWidget())) button->click();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace pellux
