#include "app/ui/JobConsoleWindow.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

#include <cmath>

namespace pellux {

namespace {
// Wide enough for the flash loader's result lines with their [OK] column.
constexpr int kColumns = 100;
constexpr int kRows = 25;
// The text cursor's width and rounding, beside the document's margins.
constexpr int kCursorRoom = 4;
}  // namespace

JobConsoleWindow::JobConsoleWindow(QWidget* parent)
    : QDialog(parent), view_(new QPlainTextEdit(this)) {
  setWindowTitle(QStringLiteral("PelluxUpdateV3"));
  setWindowModality(Qt::ApplicationModal);
  setSizeGripEnabled(true);

  // The flash loader's columns line up only in a fixed-pitch font; ask for
  // one by its style too, for machines whose fixed system font is not.
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  view_->setFont(font);
  view_->setReadOnly(true);
  // Long lines wrap at the window's width, but never below a hundred columns,
  // so that the flash loader's lines keep their shape in a narrow window.
  view_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  view_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  view_->setUndoRedoEnabled(false);
  // Keys belong to the job's prompts, not to the text view.
  view_->setFocusPolicy(Qt::NoFocus);
  view_->setStyleSheet(QStringLiteral("QPlainTextEdit { background: black; color: #c0c0c0; }"));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_);

  const QFontMetrics metrics(font);
  const int columnsWidth = metrics.horizontalAdvance(QString(kColumns, QLatin1Char('M')));
  const int textMargins =
      static_cast<int>(std::ceil(2 * view_->document()->documentMargin())) + kCursorRoom;
  view_->setMinimumWidth(columnsWidth + textMargins + 2 * view_->frameWidth() +
                         view_->verticalScrollBar()->sizeHint().width());
  resize(view_->minimumWidth(), metrics.lineSpacing() * kRows + 16);

  // The view follows the end of the text, also when a resize wraps it anew.
  QScrollBar* scroll = view_->verticalScrollBar();
  connect(scroll, &QScrollBar::valueChanged,
          [this, scroll](int value) { followingEnd_ = value == scroll->maximum(); });
  connect(scroll, &QScrollBar::rangeChanged, [this, scroll](int, int maximum) {
    if (followingEnd_) scroll->setValue(maximum);
  });
}

void JobConsoleWindow::ShowText(const QString& text) {
  screen_.Apply(text);
  const int first = screen_.TakeFirstChangedLine();
  if (first < 0) return;

  // Only the changed tail is rewritten, so a progress bar costs one line.
  const QStringList& lines = screen_.Lines();
  const QString tail = lines.mid(first).join(QLatin1Char('\n'));
  QTextDocument* document = view_->document();
  QTextCursor cursor(document);
  const QTextBlock block = document->findBlockByNumber(first);
  if (block.isValid()) {
    cursor.setPosition(block.position());
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.insertText(tail);
  } else {
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QLatin1Char('\n') + tail);
  }
  followingEnd_ = true;
  view_->verticalScrollBar()->setValue(view_->verticalScrollBar()->maximum());
}

void JobConsoleWindow::Echo(const QString& text) {
  ShowText(text);
}

void JobConsoleWindow::AwaitDismissal() {
  closeAllowed_ = true;
  awaitingDismissal_ = true;
}

void JobConsoleWindow::keyPressEvent(QKeyEvent* event) {
  if (awaitingDismissal_) {
    switch (event->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
      case Qt::Key_Escape:
        QDialog::reject();
        return;
      default:
        return;
    }
  }
  const bool control = event->modifiers() & Qt::ControlModifier;
  if (control && event->key() == Qt::Key_C) {
    emit cancelRequested();
    Echo(QStringLiteral("^C\r\n"));
    return;
  }
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
      const int key = typedLine_.isEmpty() ? '\n' : typedLine_.at(0).unicode();
      typedLine_.clear();
      Echo(QStringLiteral("\r\n"));
      emit keyEntered(key);
      return;
    }
    case Qt::Key_Backspace:
      if (!typedLine_.isEmpty()) {
        typedLine_.chop(1);
        Echo(QStringLiteral("\b \b"));
      }
      return;
    case Qt::Key_Escape:
      return;  // a console has no use for Esc; it must not close the window
    default:
      break;
  }
  const QString text = event->text();
  if (!control && !text.isEmpty() && text.at(0).isPrint()) {
    typedLine_ += text;
    Echo(text);
    return;
  }
  QDialog::keyPressEvent(event);
}

void JobConsoleWindow::closeEvent(QCloseEvent* event) {
  if (closeAllowed_) {
    QDialog::closeEvent(event);
    return;
  }
  // Closing stops the job; the window goes once the job has ended.
  emit cancelRequested();
  event->ignore();
}

void JobConsoleWindow::reject() {
  if (closeAllowed_) {
    QDialog::reject();
  } else {
    emit cancelRequested();
  }
}

}  // namespace pellux
