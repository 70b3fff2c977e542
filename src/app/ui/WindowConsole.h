#pragma once

#include <QByteArray>
#include <QObject>

#include <condition_variable>
#include <deque>
#include <mutex>

#include "base/JobConsole.h"

namespace pellux {

// The job's side of a console window. Write may be called from any thread:
// the bytes wait here and textPending() (connected queued) tells the user
// interface thread to take them. ReadKey sleeps on a condition variable until
// the window delivers a key, the input is closed, or the job is cancelled.
class WindowConsole : public QObject, public JobConsole {
  Q_OBJECT

 public:
  void Write(std::string_view text) override;
  int ReadKey(const CancelToken& cancel) override;

  // User interface side.
  QByteArray TakePending();
  void PushKey(int key);
  void CloseInput();
  // Starts a run: no output pending, no keys, input open.
  void Reset();

 signals:
  void textPending();

 private:
  std::mutex mutex_;
  std::condition_variable keyArrived_;
  QByteArray pending_;
  bool flushScheduled_ = false;
  std::deque<int> keys_;
  bool inputClosed_ = false;
};

}  // namespace pellux
