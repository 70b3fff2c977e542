#include "app/ui/MessageBox.h"

#include <QApplication>
#include <QMessageBox>

#include <utility>

namespace pellux {

namespace {

MessageHook& CurrentHook() {
  static MessageHook hook;
  return hook;
}

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information:
      return QMessageBox::Information;
    case MessageIcon::Warning:
      return QMessageBox::Warning;
    case MessageIcon::Stop:
      return QMessageBox::Critical;
    case MessageIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

void ShowMessage(const QString& text, MessageIcon icon) {
  if (CurrentHook()) {
    CurrentHook()(text, icon);
    return;
  }
  QMessageBox box(ToQtIcon(icon), QString(), text, QMessageBox::Ok, QApplication::activeWindow());
  box.exec();
}

ScopedMessageHook::ScopedMessageHook(MessageHook hook) : previous_(std::move(CurrentHook())) {
  CurrentHook() = std::move(hook);
}

ScopedMessageHook::~ScopedMessageHook() {
  CurrentHook() = std::move(previous_);
}

}  // namespace pellux
