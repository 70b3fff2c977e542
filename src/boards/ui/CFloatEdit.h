#pragma once

#include <QLineEdit>

namespace pellux {

// A single-line box that lets a typed character through only as
// FloatEditAccepts judges it; caret movement and the Delete key stay with
// the box.
class CFloatEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit CFloatEdit(QWidget* parent = nullptr);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace pellux
