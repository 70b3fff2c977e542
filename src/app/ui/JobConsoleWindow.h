#pragma once

#include <QDialog>
#include <QString>

#include "app/ui/ConsoleScreen.h"

class QPlainTextEdit;

namespace pellux {

// The console window of a job started from the dialogs: shows the job's text
// in a monospace font as a terminal would, turns Enter into a key for the
// job's prompt, and Ctrl+C or closing the window into a cancellation. Once
// the job has ended it shows the result and stays until the user dismisses
// it with Enter, Esc or the close button.
class JobConsoleWindow : public QDialog {
  Q_OBJECT

 public:
  explicit JobConsoleWindow(QWidget* parent = nullptr);

  void ShowText(const QString& text);
  // Everything shown, lines joined by "\n".
  QString ScreenText() const { return screen_.Text(); }
  // The job has ended: the window may close now.
  void AllowClose() { closeAllowed_ = true; }
  // The result is shown: Enter, Esc and the close button dismiss the window.
  void AwaitDismissal();
  bool AwaitingDismissal() const { return awaitingDismissal_; }

 signals:
  // A typed line was ended with Enter: its first character, or '\n'.
  void keyEntered(int key);
  void cancelRequested();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void Echo(const QString& text);

  QPlainTextEdit* view_;
  ConsoleScreen screen_;
  QString typedLine_;
  bool closeAllowed_ = false;
  bool awaitingDismissal_ = false;
  bool followingEnd_ = true;  // the last line is in view
};

}  // namespace pellux
