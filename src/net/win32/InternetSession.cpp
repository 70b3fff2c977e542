#include "net/win32/InternetSession.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "base/Cancellation.h"
#include "net/ServerFailure.h"

namespace pellux {

struct InternetSession::State {
  State() : completed(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
  ~State() {
    if (completed != nullptr) CloseHandle(completed);
  }
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  HANDLE completed;
  std::mutex mutex;
  INTERNET_ASYNC_RESULT result{};
  // The adopted handles whose closing WinINet has not yet reported.
  std::vector<HINTERNET> open;
  // The session object is gone; the state waits for the last closing.
  bool ended = false;
  // Where InternetReadFile puts its bytes and their count.
  std::vector<char> buffer;
  DWORD got = 0;
};

namespace {
using State = InternetSession::State;

// The sessions whose handles are open, by context number.
class SessionTable {
 public:
  DWORD_PTR Add(std::shared_ptr<State> state) {
    std::lock_guard<std::mutex> lock(mutex_);
    const DWORD_PTR context = ++last_;  // never 0: WinINet does not call back for 0
    sessions_.emplace(context, std::move(state));
    return context;
  }
  std::shared_ptr<State> Find(DWORD_PTR context) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = sessions_.find(context);
    return found == sessions_.end() ? nullptr : found->second;
  }
  void Remove(DWORD_PTR context) {
    std::shared_ptr<State> ended;  // let go of outside the lock
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = sessions_.find(context);
    if (found == sessions_.end()) return;
    ended = std::move(found->second);
    sessions_.erase(found);
  }

 private:
  std::mutex mutex_;
  std::unordered_map<DWORD_PTR, std::shared_ptr<State>> sessions_;
  DWORD_PTR last_ = 0;
};

// Never destroyed: WinINet's threads may still call back while the process ends.
union LastingTable {
  LastingTable() : table() {}
  ~LastingTable() {}
  SessionTable table;
};

SessionTable& Sessions() {
  static LastingTable lasting;
  return lasting.table;
}

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID information,
                       DWORD length) {
  if (status != INTERNET_STATUS_REQUEST_COMPLETE && status != INTERNET_STATUS_HANDLE_CLOSING) {
    return;
  }
  // Held until this callback returns, even when the session ends meanwhile.
  const std::shared_ptr<State> state = Sessions().Find(context);
  if (!state) return;
  std::lock_guard<std::mutex> lock(state->mutex);
  if (status == INTERNET_STATUS_REQUEST_COMPLETE) {
    if (information == nullptr || length < sizeof(INTERNET_ASYNC_RESULT)) return;
    state->result = *static_cast<INTERNET_ASYNC_RESULT*>(information);
    SetEvent(state->completed);
    return;
  }
  // Handles WinINet made on its own with our context are not ours to count.
  if (information == nullptr || length < sizeof(HINTERNET)) return;
  const HINTERNET closing = *static_cast<HINTERNET*>(information);
  const auto found = std::find(state->open.begin(), state->open.end(), closing);
  if (found == state->open.end()) return;
  state->open.erase(found);
  if (state->open.empty() && state->ended) Sessions().Remove(context);
}
}  // namespace

InternetSession::InternetSession(const wchar_t* userAgent, const CancelToken& cancel)
    : cancel_(cancel), state_(std::make_shared<State>()) {
  if (state_->completed == nullptr) return;
  context_ = Sessions().Add(state_);
  root_ =
      InternetOpenW(userAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC);
  if (root_ == nullptr) return;
  InternetSetStatusCallbackW(root_, OnStatus);
}

InternetSession::~InternetSession() {
  CloseAll();
  if (context_ == 0) return;
  bool closed = false;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->ended = true;
    closed = state_->open.empty();
  }
  // Else the last closing WinINet reports ends the state.
  if (closed) Sessions().Remove(context_);
}

HINTERNET InternetSession::Adopt(HINTERNET child) {
  if (child == nullptr) return nullptr;
  for (HINTERNET& slot : children_) {
    if (slot == nullptr) {
      std::lock_guard<std::mutex> lock(state_->mutex);
      state_->open.push_back(child);
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
  HANDLE handles[2] = {state_->completed, wake};
  const DWORD count = cancel_.Wake().NativeHandle() == -1 ? 1 : 2;
  // Every wait for the server is one for its next bytes: a wait that lasts
  // the stalled-transfer time ends the exchange (WinINet's own receive
  // time-out is not applied to every handle everywhere, and Wine reports it
  // as a broken connection).
  const DWORD limit = static_cast<DWORD>(StalledTransferTimeout().count());
  const DWORD waited =
      cancel_.IsCancelled() ? WAIT_FAILED : WaitForMultipleObjects(count, handles, FALSE, limit);
  if (waited == WAIT_OBJECT_0) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (state_->result.dwResult != 0) return true;
    SetLastError(state_->result.dwError);
    return false;
  }
  // Closing the handles ends the pending call; whatever it still writes goes
  // to the state, which outlives it.
  const bool stalled = waited == WAIT_TIMEOUT && !cancel_.IsCancelled();
  (stalled ? stalled_ : cancelled_) = true;
  CloseAll();
  SetLastError(stalled ? ERROR_INTERNET_TIMEOUT : ERROR_INTERNET_OPERATION_CANCELLED);
  return false;
}

HINTERNET InternetSession::CompleteHandle(HINTERNET started) {
  if (started != nullptr) return started;
  if (!Complete(FALSE)) return nullptr;
  std::lock_guard<std::mutex> lock(state_->mutex);
  return reinterpret_cast<HINTERNET>(state_->result.dwResult);
}

bool InternetSession::Read(HINTERNET handle, DWORD size, std::string_view& data) {
  data = {};
  if (cancelled_ || stalled_) {
    SetLastError(cancelled_ ? ERROR_INTERNET_OPERATION_CANCELLED : ERROR_INTERNET_TIMEOUT);
    return false;
  }
  // No read is pending here: the previous one has completed.
  if (state_->buffer.size() < size) state_->buffer.resize(size);
  state_->got = 0;
  if (!Complete(InternetReadFile(handle, state_->buffer.data(), size, &state_->got))) return false;
  data = std::string_view(state_->buffer.data(), state_->got);
  return true;
}

}  // namespace pellux
