#include "base/win32/ConsoleIo.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/Cancellation.h"

namespace pellux {

namespace {
// Sleeps on `input` (when given) and the cancellation; true when the input is signalled.
bool WaitForInputOrCancel(HANDLE input, const CancelToken& cancel) {
  HANDLE handles[2];
  DWORD count = 0;
  if (input != nullptr) handles[count++] = input;
  if (cancel.Wake().NativeHandle() != -1) {
    handles[count++] = reinterpret_cast<HANDLE>(cancel.Wake().NativeHandle());
  }
  if (count == 0) return false;
  // Without a wake-up event the wait looks at the token now and then.
  const DWORD timeout = cancel.Wake().NativeHandle() != -1 ? INFINITE : 100;
  return WaitForMultipleObjects(count, handles, FALSE, timeout) == WAIT_OBJECT_0 &&
         input != nullptr;
}

// The next key-down event of a console; 0 for one that carries no character.
// -1 once cancelled or when the console cannot be read.
int NextConsoleKey(HANDLE input, const CancelToken& cancel) {
  for (;;) {
    if (cancel.IsCancelled()) return -1;
    if (!WaitForInputOrCancel(input, cancel)) continue;
    INPUT_RECORD record{};
    DWORD read = 0;
    if (!ReadConsoleInputA(input, &record, 1, &read)) return -1;
    if (read == 1 && record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) {
      return static_cast<unsigned char>(record.Event.KeyEvent.uChar.AsciiChar);
    }
  }
}

int ReadLineKey(HANDLE input, HANDLE echo, const CancelToken& cancel) {
  std::string line;
  for (;;) {
    const int key = NextConsoleKey(input, cancel);
    if (key < 0) return -1;
    if (key == '\r') {
      WriteBytes(echo, "\r\n");
      return line.empty() ? '\n' : static_cast<unsigned char>(line[0]);
    }
    if (key == '\b') {
      if (!line.empty()) {
        line.pop_back();
        WriteBytes(echo, "\b \b");
      }
    } else if (key >= ' ') {
      line += static_cast<char>(key);
      WriteBytes(echo, std::string(1, static_cast<char>(key)));
    }
  }
}

// Reads a pipe on a thread of its own and keeps what arrives for the
// prompts. A read that blocks cannot be abandoned portably (under Wine the
// pipe cannot even be peeked), so the prompt waits on this queue and the
// cancellation instead; bytes that arrive after a cancelled prompt are kept
// for the next one.
class PipeReader {
 public:
  static std::shared_ptr<PipeReader> For(HANDLE pipe) {
    static std::mutex mutex;
    static std::shared_ptr<PipeReader> current;
    std::lock_guard lock(mutex);
    if (!current || current->pipe_ != pipe) {
      // The thread keeps its reader alive, even one left blocked on an
      // earlier handle or still waiting when the process ends.
      current = std::make_shared<PipeReader>(pipe);
      std::thread([reader = current] { reader->Run(); }).detach();
    }
    return current;
  }

  explicit PipeReader(HANDLE pipe) : pipe_(pipe) {}

  int Read(const CancelToken& cancel) {
    std::unique_lock lock(mutex_);
    if (!cancel.Wait(lock, arrived_, [this] { return !bytes_.empty() || ended_; })) return -1;
    if (bytes_.empty()) return -1;
    const int byte = bytes_.front();
    bytes_.pop_front();
    return byte;
  }

 private:
  void Run() {
    for (;;) {
      char buffer[256];
      DWORD read = 0;
      const bool ok = ReadFile(pipe_, buffer, sizeof buffer, &read, nullptr) != FALSE;
      std::lock_guard lock(mutex_);
      if (!ok || read == 0) {
        ended_ = true;
        arrived_.notify_all();
        return;
      }
      for (DWORD i = 0; i < read; ++i) bytes_.push_back(static_cast<unsigned char>(buffer[i]));
      arrived_.notify_all();
    }
  }

  const HANDLE pipe_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<int> bytes_;
  bool ended_ = false;
};
}  // namespace

bool IsUsableHandle(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

bool IsConsoleHandle(HANDLE handle) {
  DWORD mode = 0;
  return IsUsableHandle(handle) && GetConsoleMode(handle, &mode) != FALSE;
}

void WriteBytes(HANDLE output, std::string_view bytes) {
  if (!IsUsableHandle(output)) return;
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!WriteFile(output, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written == 0) {
      return;
    }
    bytes.remove_prefix(written);
  }
}

int ReadPromptKey(HANDLE input, HANDLE echo, const CancelToken& cancel) {
  if (cancel.IsCancelled() || !IsUsableHandle(input)) return -1;
  if (IsConsoleHandle(input)) return ReadLineKey(input, echo, cancel);
  if (GetFileType(input) == FILE_TYPE_PIPE) return PipeReader::For(input)->Read(cancel);
  char byte = 0;
  DWORD read = 0;
  if (!ReadFile(input, &byte, 1, &read, nullptr) || read == 0) return -1;
  return static_cast<unsigned char>(byte);
}

int ReadAnyConsoleKey(HANDLE input, const CancelToken& cancel) {
  if (!IsConsoleHandle(input)) return -1;
  FlushConsoleInputBuffer(input);
  for (;;) {
    const int key = NextConsoleKey(input, cancel);
    if (key != 0) return key;
  }
}

int ConsoleBufferColumns() {
  // The standard output handle may be a file even when a console exists,
  // and need not be the console's: ask the console itself.
  const HANDLE screen =
      CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (screen == INVALID_HANDLE_VALUE) return 0;
  CONSOLE_SCREEN_BUFFER_INFO info{};
  const bool known = GetConsoleScreenBufferInfo(screen, &info) != FALSE;
  CloseHandle(screen);
  return known && info.dwSize.X > 0 ? info.dwSize.X : 0;
}

}  // namespace pellux
