#!/usr/bin/env bash
# Pictures of the Windows dialogs for the README, into docs/screenshots/windows-*.png:
# the main dialog's compact, engineer and local-mode views and Select File, as Wine draws
# them (its virtual desktop gives the windows their title bars) under Xvfb,
# against pupdate-sim. Not part of CI; needs wine64, xvfb and imagemagick.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

./scripts/build-windows.sh >/dev/null 2>&1 || ./scripts/build-windows.sh
windows=$(realpath -m "${PUPDATE_WINDOWS_BUILD_DIR:-build-windows}")
linux=$(realpath -m "${PUPDATE_LINUX_BUILD_DIR:-build}")
[ -x "$linux/sim/pupdate-sim" ] || {
  cmake -S . -B "$linux" -G Ninja >/dev/null
  cmake --build "$linux" --target pupdate-sim
}

work=$(mktemp -d /tmp/pupdate-shots-XXXXXX)
children=()
cleanup() {
  for pid in "${children[@]}"; do kill "$pid" 2>/dev/null || true; done
  WINEPREFIX=$work/prefix "$wineserver" -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "screenshots-windows: $*" >&2
  exit 1
}
. scripts/wine-stage.sh

display=$((200 + $$ % 500))
while [ -e "/tmp/.X11-unix/X$display" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
children+=($!)
export DISPLAY=:$display
make_wine_prefix
start_sim_in_prefix
list_sim_ports
"$wine" reg add 'HKCU\SOFTWARE\PelluxUpdateV3' /v MachineType /t REG_SZ /d 'New R2 Bender' /f \
  >/dev/null 2>&1

desktop=PelluxShots
driver() { DIALOG_DRIVER_DESKTOP=$desktop "$wine" "$windows/tests/windows/DialogDriver.exe" "$@"; }
mkdir -p docs/screenshots
# The window $1 alone, from the screen.
shoot() {
  sleep 1
  import -window root -crop "$(driver rect "$1" | tr -d '\r')" +repage "docs/screenshots/$2"
  echo "docs/screenshots/$2"
}

# Starts the program on the virtual desktop under the name $1.
start() {
  cp "$windows/src/PelluxUpdateV3.exe" "$work/$1.exe"
  (cd "$work" && PUPDATE_SERVER_URL=$sim_url exec "$wine" explorer "/desktop=$desktop,640x480" \
    "./$1.exe" >/dev/null 2>&1) &
  children+=($!)
}
main='PelluxUpdateV3 (V251112) - '
start PelluxUpdateV3
driver wait "$main" 60 >/dev/null
com3=$(driver combo "$main" 1005 | tr -d '\r*' | grep -nx COM3 | cut -d: -f1)
driver select "$main" 1005 $((com3 - 1))
shoot "$main" windows-main-compact.png
driver dblclick "$main"
driver wait "For Engineer" 30 >/dev/null
shoot "$main" windows-main-engineer.png
driver click "$main" 1006
driver wait 'Select File' 60 >/dev/null
shoot 'Select File' windows-select-file.png
driver click 'Select File' 2
driver click "$main" 2
driver gone "$main" 30
# Local mode, with the line that says why.
start PelluxUpdateV3L
driver wait "$main" 60 >/dev/null
shoot "$main" windows-main-local.png
driver click "$main" 2
