#pragma once

#include <QDialog>

#include "base/Cancellation.h"

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

  // What the dialog's board exchanges wait on. They run outside any job, so
  // nothing cancels them: each wait ends by its own time limit.
  const CancelToken& ExchangeCancellation() const { return exchanges_; }

 private:
  CancelToken exchanges_;
};

}  // namespace pellux
