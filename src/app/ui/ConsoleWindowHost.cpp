#include "app/ui/ConsoleWindowHost.h"

#include <QEventLoop>

#include "base/Cancellation.h"

namespace pellux {

ConsoleWindowHost::ConsoleWindowHost() {
  connect(&console_, &WindowConsole::textPending, this, &ConsoleWindowHost::ShowPendingText,
          Qt::QueuedConnection);
}

ConsoleWindowHost::~ConsoleWindowHost() = default;

JobConsole& ConsoleWindowHost::Open() {
  console_.Reset();
  decoder_.resetState();
  window_ = std::make_unique<JobConsoleWindow>();
  connect(window_.get(), &JobConsoleWindow::keyEntered, this,
          [this](int key) { console_.PushKey(key); });
  connect(window_.get(), &JobConsoleWindow::cancelRequested, this,
          [] { JobCancellation().Cancel(); });
  window_->show();
  window_->raise();
  window_->activateWindow();
  return console_;
}

void ConsoleWindowHost::WaitForJob(const std::function<bool()>& finished) {
  QEventLoop loop;
  connect(this, &ConsoleWindowHost::jobEnded, &loop, &QEventLoop::quit, Qt::QueuedConnection);
  // A job that ended before the connection is seen here instead.
  if (!finished()) loop.exec();
}

void ConsoleWindowHost::NotifyJobEnded() {
  emit jobEnded();
}

void ConsoleWindowHost::ReportOutcome(JobOutcome outcome) {
  outcome_ = outcome;
}

void ConsoleWindowHost::HoldResult() {
  // The result is the window's last line, below any closing note of the run.
  switch (outcome_) {
    case JobOutcome::Complete:
      console_.Write("Complete\r\n");
      break;
    case JobOutcome::Error:
      console_.Write("Error\r\n");
      break;
    case JobOutcome::Cancelled:
      console_.Write("Cancelled\r\n");
      break;
  }
  ShowPendingText();
  if (!window_) return;
  window_->AwaitDismissal();
  if (!window_->isVisible()) return;
  QEventLoop loop;
  connect(window_.get(), &QDialog::finished, &loop, &QEventLoop::quit);
  loop.exec();
}

void ConsoleWindowHost::Close() {
  ShowPendingText();
  console_.CloseInput();
  if (window_) {
    window_->AllowClose();
    window_->close();
  }
  window_.reset();
}

void ConsoleWindowHost::ShowPendingText() {
  const QByteArray bytes = console_.TakePending();
  if (bytes.isEmpty() || !window_) return;
  window_->ShowText(decoder_.decode(bytes));
}

ScopedConsoleWindowHost::ScopedConsoleWindowHost() : previous_(SetConsoleHost(&host_)) {}

ScopedConsoleWindowHost::~ScopedConsoleWindowHost() {
  SetConsoleHost(previous_);
}

}  // namespace pellux
