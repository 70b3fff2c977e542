#pragma once

namespace pellux {

// The synopsis printed on a wrong command line (standard error).
const char* PelluxUpdateSynopsis();
// The whole --help text (standard output): the synopsis, the job names, the
// arguments of a job, the environment and the exit status.
const char* PelluxUpdateHelp();

}  // namespace pellux
