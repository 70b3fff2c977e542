#pragma once

#include <QObject>
#include <QStringDecoder>

#include <functional>
#include <memory>

#include "app/ui/JobConsoleWindow.h"
#include "app/ui/WindowConsole.h"
#include "jobs/ConsoleHost.h"

class QEventLoop;

namespace pellux {

// Runs the jobs started from the dialogs in a console window. While the job
// runs on its thread, the user interface thread turns in a local event loop,
// so the dialogs keep repainting behind the modal console window.
class ConsoleWindowHost : public QObject, public ConsoleHost {
  Q_OBJECT

 public:
  ConsoleWindowHost();
  ~ConsoleWindowHost() override;

  JobConsole& Open() override;
  void WaitForJob(const std::function<bool()>& finished) override;
  void NotifyJobEnded() override;
  void ReportOutcome(JobOutcome outcome) override;
  void HoldResult() override;
  void Close() override;

  // The window of the running job, or nullptr between jobs.
  JobConsoleWindow* Window() const { return window_.get(); }

 signals:
  void jobEnded();

 private:
  void ShowPendingText();

  WindowConsole console_;
  QStringDecoder decoder_{QStringDecoder::Utf8};
  std::unique_ptr<JobConsoleWindow> window_;
  JobOutcome outcome_ = JobOutcome::Error;
};

// Installs a ConsoleWindowHost for RunJobInConsole while it lives.
class ScopedConsoleWindowHost {
 public:
  ScopedConsoleWindowHost();
  ~ScopedConsoleWindowHost();
  ScopedConsoleWindowHost(const ScopedConsoleWindowHost&) = delete;
  ScopedConsoleWindowHost& operator=(const ScopedConsoleWindowHost&) = delete;
  ConsoleWindowHost& host() { return host_; }

 private:
  ConsoleWindowHost host_;
  ConsoleHost* previous_;
};

}  // namespace pellux
