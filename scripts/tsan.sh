#!/usr/bin/env bash
# Builds the threaded tests (serial ports, boards, flash, jobs, and the
# dialogs' job console window when Qt is there) with ThreadSanitizer and runs
# them. Any data race or other ThreadSanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)
build=build-tsan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPUPDATE_TSAN=ON >/dev/null
cmake --build "$build" -j"$jobs"

export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
(cd "$build" && ctest -j"$jobs" --output-on-failure)
