#include "net/win32/InternetSession.h"

#include "base/Cancellation.h"

namespace pellux {

namespace {
// Longest wait for WinINet to let go of closed handles.
constexpr DWORD kClosingWaitMs = 10000;
}  // namespace

struct InternetSession::Events {
  Events()
      : completed(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
        allClosed(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~Events() {
    if (completed != nullptr) CloseHandle(completed);
    if (allClosed != nullptr) CloseHandle(allClosed);
  }
  Events(const Events&) = delete;
  Events& operator=(const Events&) = delete;

  HANDLE completed;
  HANDLE allClosed;
  std::mutex mutex;
  INTERNET_ASYNC_RESULT result{};
  int openHandles = 0;
};

namespace {
void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID information,
                       DWORD length) {
  auto* events = reinterpret_cast<InternetSession::Events*>(context);
  if (events == nullptr) return;
  if (status == INTERNET_STATUS_REQUEST_COMPLETE && information != nullptr &&
      length >= sizeof(INTERNET_ASYNC_RESULT)) {
    {
      std::lock_guard<std::mutex> lock(events->mutex);
      events->result = *static_cast<INTERNET_ASYNC_RESULT*>(information);
    }
    SetEvent(events->completed);
  } else if (status == INTERNET_STATUS_HANDLE_CLOSING) {
    std::lock_guard<std::mutex> lock(events->mutex);
    if (--events->openHandles <= 0) SetEvent(events->allClosed);
  }
}
}  // namespace

InternetSession::InternetSession(const wchar_t* userAgent, const CancelToken& cancel)
    : cancel_(cancel), events_(std::make_unique<Events>()) {
  if (events_->completed == nullptr || events_->allClosed == nullptr) return;
  root_ =
      InternetOpenW(userAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC);
  if (root_ == nullptr) return;
  InternetSetStatusCallbackW(root_, OnStatus);
}

InternetSession::~InternetSession() {
  CloseAll();
  bool open = false;
  {
    std::lock_guard<std::mutex> lock(events_->mutex);
    open = events_->openHandles > 0;
  }
  // Children report their closing with our context; the root has none.
  if (open && WaitForSingleObject(events_->allClosed, kClosingWaitMs) != WAIT_OBJECT_0) {
    // WinINet may still call back into the events: they must outlive it.
    [[maybe_unused]] Events* kept = events_.release();
  }
}

DWORD_PTR InternetSession::context() const {
  return reinterpret_cast<DWORD_PTR>(events_.get());
}

HINTERNET InternetSession::Adopt(HINTERNET child) {
  if (child == nullptr) return nullptr;
  for (HINTERNET& slot : children_) {
    if (slot == nullptr) {
      std::lock_guard<std::mutex> lock(events_->mutex);
      ++events_->openHandles;
      slot = child;
      break;
    }
  }
  return child;
}

void InternetSession::CloseAll() {
  if (closed_) return;
  closed_ = true;
  for (int i = 1; i >= 0; --i) {
    if (children_[i] != nullptr) InternetCloseHandle(children_[i]);
  }
  if (root_ != nullptr) InternetCloseHandle(root_);
}

bool InternetSession::Complete(BOOL started) {
  if (started) return true;
  if (GetLastError() != ERROR_IO_PENDING) return false;
  const HANDLE wake = reinterpret_cast<HANDLE>(cancel_.Wake().NativeHandle());
  HANDLE handles[2] = {events_->completed, wake};
  const DWORD count = cancel_.Wake().NativeHandle() == -1 ? 1 : 2;
  if (!cancel_.IsCancelled() &&
      WaitForMultipleObjects(count, handles, FALSE, INFINITE) == WAIT_OBJECT_0) {
    std::lock_guard<std::mutex> lock(events_->mutex);
    if (events_->result.dwResult != 0) return true;
    SetLastError(events_->result.dwError);
    return false;
  }
  // Closing the handles ends the pending call; its buffers stay ours until then.
  cancelled_ = true;
  CloseAll();
  WaitForSingleObject(events_->completed, kClosingWaitMs);
  SetLastError(ERROR_INTERNET_OPERATION_CANCELLED);
  return false;
}

HINTERNET InternetSession::CompleteHandle(HINTERNET started) {
  if (started != nullptr) return started;
  if (!Complete(FALSE)) return nullptr;
  std::lock_guard<std::mutex> lock(events_->mutex);
  return reinterpret_cast<HINTERNET>(events_->result.dwResult);
}

}  // namespace pellux
