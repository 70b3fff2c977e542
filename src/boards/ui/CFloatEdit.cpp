#include "boards/ui/CFloatEdit.h"

#include <QKeyEvent>

#include "boards/FloatEditFilter.h"

namespace pellux {

namespace {

// Keys that move the caret or edit without typing a character.
bool IsEditingKey(int key) {
  switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Delete:
    case Qt::Key_Insert:
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
      return true;
    default:
      return false;
  }
}

}  // namespace

CFloatEdit::CFloatEdit(QWidget* parent) : QLineEdit(parent) {}

void CFloatEdit::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if (IsEditingKey(key)) {
    QLineEdit::keyPressEvent(event);
    return;
  }
  // Return, Escape and Tab belong to the dialog.
  if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape ||
      key == Qt::Key_Tab || key == Qt::Key_Backtab) {
    event->ignore();
    return;
  }
  if (key == Qt::Key_Backspace) {
    QLineEdit::keyPressEvent(event);
    return;
  }
  // With Ctrl held a key types a control character (Ctrl+C, Ctrl+V, ...).
  const bool control = event->modifiers().testFlag(Qt::ControlModifier) ||
                       event->modifiers().testFlag(Qt::MetaModifier);
  const QString typed = event->text();
  if (!control && typed.size() == 1) {
    const int from = hasSelectedText() ? selectionStart() : cursorPosition();
    const int to = hasSelectedText() ? from + static_cast<int>(selectedText().size()) : from;
    if (FloatEditAccepts(text().toStdU16String(), static_cast<size_t>(from),
                         static_cast<size_t>(to), typed.front().unicode())) {
      QLineEdit::keyPressEvent(event);  // replaces the selection
      return;
    }
  }
  event->accept();  // discarded
}

}  // namespace pellux
