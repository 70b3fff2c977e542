#pragma once

namespace pellux {

// The program with its arguments in the system's narrow encoding; the
// process exit status. Called by the platform's entry point.
int PelluxUpdateMain(int argc, char** argv);

}  // namespace pellux
