#!/bin/sh
# Renders the dialogs into docs/screenshots/: the main dialog's compact and
# engineer views, the file selection dialog and the console window of a
# running job. The dialogs are drawn by Qt itself (offscreen platform), so no
# display is needed; the title bar above each picture shows the window title.
set -eu
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja
cmake --build "$build" --target DialogScreenshots
mkdir -p docs/screenshots
out=$(cd docs/screenshots && pwd)
QT_QPA_PLATFORM=offscreen PUPDATE_SCREENSHOT_DIR="$out" "$build/tests/DialogScreenshots"
ls -l docs/screenshots
