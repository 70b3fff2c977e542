#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pellux {

// The token classes of the flash loader's argument list (exact,
// case-sensitive); everything that is neither an option nor a sub-option is a
// value.
bool IsFlashLoaderOption(const std::string& text);
bool IsFlashLoaderSubOption(const std::string& text);
bool IsFlashLoaderValue(const std::string& text);

// Value parsers.
uint32_t ParseDecimal(const std::string& text);  // leading digits, else 0
// Hexadecimal digits with an optional 0x/0X prefix; nothing for any other
// text or for a value above `maximum`.
std::optional<uint32_t> ParseHex(const std::string& text, uint32_t maximum = 0xFFFFFFFF);
// A decimal fraction with '.' whatever the locale, else 0.
float ParseFraction(const std::string& text);
int ParseParity(const std::string& text);    // NONE 0, ODD 1, anything else EVEN 2
int ParseEchoMode(const std::string& text);  // OFF 0, ECHO 1, LISTEN 2, anything else 0
bool ParseOnOff(const std::string& text);    // ON, anything else off

}  // namespace pellux
