#pragma once

#include <QLineEdit>

namespace pellux {

// A single-line box that only lets characters through that can form a
// decimal number: digits, backspace, one '.', and '-' at the start (or in
// place of a wholly selected text). Every other typed character is
// discarded, the control characters of copy, cut and paste included;
// caret movement and the Delete key stay with the box.
class CFloatEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit CFloatEdit(QWidget* parent = nullptr);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool AcceptsCharacter(QChar c);
};

}  // namespace pellux
