#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pellux {

// Folds a console's byte stream into the lines a terminal would end up
// showing: a carriage return goes back to the start of the line, so a
// progress bar redrawn in place leaves only its final state; "\r\n", "\n"
// and a bare "\r" before new text all end up as plain lines. Control
// characters other than TAB are shown as \xNN, so the text is safe to print.
class TranscriptLines {
 public:
  // Takes the next piece of output; returns the lines it finished.
  std::vector<std::string> Feed(std::string_view text);
  // The unfinished last line, if anything was written to it.
  std::optional<std::string> TakePartial();

 private:
  std::string Finish();

  std::string line_;
  size_t column_ = 0;
};

}  // namespace pellux
