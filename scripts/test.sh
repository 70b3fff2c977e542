#!/usr/bin/env bash
# Builds everything and runs every test: the normal build (core, programs,
# dialogs), the release made from it (the Debian package and the Windows
# installer installed, checked, removed),
# a build of the core tests with AddressSanitizer and
# UndefinedBehaviorSanitizer, a short run of every fuzz target and the
# threaded tests under ThreadSanitizer, and the Windows programs under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
./scripts/test-locale.sh

jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest -j"$jobs" --output-on-failure)

# The Windows programs, cross-built and run under Wine against the same
# virtual machine (PUPDATE_SKIP_WINDOWS=1 skips it in quick local runs).
./scripts/test-windows.sh

# The release (scripts/release.sh) from those two builds: the Debian package
# installed, checked and removed; the Windows installer installed, used,
# upgraded and removed under Wine.
./scripts/test-release.sh

if [ "${PUPDATE_SKIP_SANITIZERS:-0}" != 1 ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPUPDATE_SANITIZE=ON \
    -DPUPDATE_BUILD_UI=OFF >/dev/null
  cmake --build build-asan -j"$jobs" --target pupdate_tests
  (cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest -j"$jobs" --output-on-failure)
fi

if [ "${PUPDATE_SKIP_SANITIZERS:-0}" != 1 ] && [ "${PUPDATE_SKIP_FUZZ:-0}" != 1 ]; then
  ./scripts/fuzz.sh
fi

if [ "${PUPDATE_SKIP_SANITIZERS:-0}" != 1 ] && [ "${PUPDATE_SKIP_TSAN:-0}" != 1 ]; then
  ./scripts/tsan.sh
fi
