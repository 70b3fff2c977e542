#pragma once

#include <QDialog>

class QKeyEvent;

namespace pellux {

// The base of the extend setting dialogs. Enter in a value box does nothing:
// no Load that would overwrite what the user typed, no Save. A focused
// button still takes Enter.
class ExtendSettingDialog : public QDialog {
 public:
  explicit ExtendSettingDialog(QWidget* parent = nullptr) : QDialog(parent) {}

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace pellux
