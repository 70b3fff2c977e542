#include "base/FormatText.h"

#include <cstdio>

namespace pellux {

std::string FormatTextV(const char* format, va_list args) {
  va_list measure;
  va_copy(measure, args);
  const int needed = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (needed <= 0) return {};
  std::string text(static_cast<size_t>(needed), '\0');
  va_list write;
  va_copy(write, args);
  std::vsnprintf(text.data(), text.size() + 1, format, write);
  va_end(write);
  return text;
}

std::string FormatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatTextV(format, args);
  va_end(args);
  return text;
}

}  // namespace pellux
