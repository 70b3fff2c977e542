#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pellux {

// Texts exchanged by the extend setting dialogs with the running board.

// A box's text as a 32-bit float: the leading numeric part, 0 when there is
// none. Independent of the user's locale (the board always reads '.').
float BoxTextToFloat(const std::string& text);

// "%f" of the float widened to double: six decimals, '.' whatever the locale.
std::string FormatBoardValue(float value);

// "<command>,v1,v2,..." with every value as FormatBoardValue renders it.
std::string SetCommandText(int command, const std::vector<float>& values);

// The fields after `key` of an answer "key/f1/f2/...", when the answer has
// exactly `fieldCount` fields (the key included) and its first is `key`.
std::optional<std::vector<std::string>> AnswerFields(const std::string& answer,
                                                     const std::string& key, size_t fieldCount);

}  // namespace pellux
