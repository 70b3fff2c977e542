#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace pellux {

// Texts between the models (UTF-8) and the wide Win32 controls. A text that
// is not UTF-8 (a machine list saved in the ANSI code page) is shown as ANSI.
std::wstring ShownText(std::string_view text);

// Shows `text` in the static control `id` of `dialog`, wrapped to the
// control's width, with its top edge at `top` (client pixels), or hides it
// for an empty text. The height it takes, 0 when hidden.
int PlaceStatusLine(HWND dialog, int id, const std::string& text, int top);

// The caption of the program's message boxes.
inline constexpr const char* kMessageCaption = "PelluxUpdate";

enum class MessageIcon { None, Warning, Stop };

// MessageBoxA with an OK button; waits for it.
void ShowMessage(HWND owner, const std::string& text, MessageIcon icon = MessageIcon::None);

}  // namespace pellux
