#pragma once

#include <cstdint>
#include <string>

// The token classes of the flash loader's argument list (exact,
// case-sensitive); everything that is neither an option nor a sub-option is a
// value.
bool IsFlashLoaderOption(const std::string& text);
bool IsFlashLoaderSubOption(const std::string& text);

// Value parsers.
uint32_t ParseDecimal(const std::string& text);  // leading digits, else 0
uint32_t ParseHex(const std::string& text);      // leading hex digits, else 0
float ParseFraction(const std::string& text);    // a decimal fraction, else 0
int ParseParity(const std::string& text);        // NONE 0, ODD 1, anything else EVEN 2
int ParseEchoMode(const std::string& text);      // OFF 0, ECHO 1, LISTEN 2, anything else 0
bool ParseOnOff(const std::string& text);        // ON, anything else off
