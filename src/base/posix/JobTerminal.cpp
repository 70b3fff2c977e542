// A terminal is there or output is redirected: nothing to set up.
#include "base/JobTerminal.h"

namespace pellux {

struct JobTerminal::State {};

JobTerminal::JobTerminal(Use) {}
JobTerminal::~JobTerminal() = default;

bool JobTerminal::ShowsWindow() const {
  return false;
}

void JobTerminal::SetTitle(std::string_view) {}

void JobTerminal::ShowResultBox(bool) const {}

int JobTerminal::AwaitAnyKey(const CancelToken&) const {
  return -1;
}

}  // namespace pellux
