#include "boards/ui/BoardExchange.h"

#include <QEventLoop>
#include <QTimer>

#include "boards/CCamVer1.h"

namespace pellux {

bool WaitForBoardAnswer(CCamVer1& board, int milliseconds) {
  if (board.TakeAnswerReady()) return true;
  QEventLoop loop;
  // The reader thread only posts the wake-up; the loop runs on this thread.
  board.SetAnswerListener(
      [&loop] { QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection); });
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  // An answer completed before the listener was set is caught here.
  if (!board.TakeAnswerReady()) {
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    board.SetAnswerListener(nullptr);
    return board.TakeAnswerReady();
  }
  board.SetAnswerListener(nullptr);
  return true;
}

void PauseKeepingPainted(int milliseconds) {
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace pellux
