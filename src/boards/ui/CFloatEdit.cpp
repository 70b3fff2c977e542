#include "boards/ui/CFloatEdit.h"

#include <QKeyEvent>

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
  const QString text = event->text();
  if (!control && text.size() == 1 && AcceptsCharacter(text.front())) {
    QLineEdit::keyPressEvent(event);
    return;
  }
  event->accept();  // discarded
}

bool CFloatEdit::AcceptsCharacter(QChar c) {
  if (c >= u'0' && c <= u'9') return true;
  if (c == u'.') return !text().contains(u'.');
  if (c != u'-') return false;

  const int length = static_cast<int>(text().size());
  // The selection, or the caret when nothing is selected.
  const int from = hasSelectedText() ? selectionStart() : cursorPosition();
  const int to = hasSelectedText() ? from + static_cast<int>(selectedText().size()) : from;
  if (from == 0 && to == length) {
    clear();
    return true;
  }
  if (text().contains(u'-')) return false;
  return to == 0;
}

}  // namespace pellux
