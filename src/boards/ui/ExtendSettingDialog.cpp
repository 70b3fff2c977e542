#include "boards/ui/ExtendSettingDialog.h"

#include <QKeyEvent>
#include <QPushButton>

namespace pellux {

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
