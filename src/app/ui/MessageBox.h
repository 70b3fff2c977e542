#pragma once

#include <QString>

#include <functional>

namespace pellux {

// Message boxes of the dialogs. All of them go through ShowMessage so that a
// test can record them instead of waiting for a user to press OK.
enum class MessageIcon { None, Information, Warning, Stop };

// Shows `text` with an OK button, the caption empty, and waits for OK.
void ShowMessage(const QString& text, MessageIcon icon = MessageIcon::None);

using MessageHook = std::function<void(const QString& text, MessageIcon icon)>;

// Replaces the message box by `hook` while the returned guard lives (tests).
class ScopedMessageHook {
 public:
  explicit ScopedMessageHook(MessageHook hook);
  ~ScopedMessageHook();
  ScopedMessageHook(const ScopedMessageHook&) = delete;
  ScopedMessageHook& operator=(const ScopedMessageHook&) = delete;

 private:
  MessageHook previous_;
};

}  // namespace pellux
