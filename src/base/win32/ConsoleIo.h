#pragma once

#include <windows.h>

#include <string_view>

namespace pellux {

class CancelToken;

// The pieces of console input and output that the terminal and a job's own
// console share.

// True for a handle on a console (screen buffer or input).
bool IsConsoleHandle(HANDLE handle);
// A handle that reads or writes something: not null, not invalid.
bool IsUsableHandle(HANDLE handle);

// Writes the bytes as they are; nothing happens on an unusable handle.
void WriteBytes(HANDLE output, std::string_view bytes);

// One key for a prompt. A console in line mode: keys are echoed to `echo`
// and the first character of the line is the answer once Enter is pressed.
// A pipe: one byte, read by a thread of its own so that the wait ends on
// `cancel` however the pipe behaves. A file or another device: one byte.
// -1 at the end of input or once cancelled.
int ReadPromptKey(HANDLE input, HANDLE echo, const CancelToken& cancel);

// The next key pressed on a console (no Enter needed); -1 once cancelled or
// when `input` is not a console.
int ReadAnyConsoleKey(HANDLE input, const CancelToken& cancel);

// Width of the screen buffer of the process's console ("CONOUT$"), 0 when
// the process has none.
int ConsoleBufferColumns();

}  // namespace pellux
