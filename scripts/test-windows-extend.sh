#!/usr/bin/env bash
# The extend setting dialogs on Windows, under Wine and Xvfb, driven as a
# user would by a Win32 test program against two virtual control boards
# (pupdate-sim, an NR2 and an R1PS board); then the boards' punch positions
# and press speed are read from their report.
#   --screenshots DIR  instead: pictures of both dialogs after a Load
# Run by scripts/test-windows.sh with its Wine prefix (WINEPREFIX); started on
# its own it makes a prefix of its own. Needs the Windows build (build-windows)
# and pupdate-sim of the Linux build.
set -euo pipefail
cd "$(dirname "$0")/.."

shots=
if [ "${1:-}" = --screenshots ]; then
  shots=$(realpath -m "$2")
fi

wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
windows=$(realpath -m "${PUPDATE_WINDOWS_BUILD_DIR:-build-windows}")
linux=$(realpath -m "${PUPDATE_LINUX_BUILD_DIR:-build}")
driver=$windows/tests/windows/extend_setting_driver.exe
[ -f "$driver" ] || ./scripts/build-windows.sh >/dev/null
[ -x "$linux/sim/pupdate-sim" ] || cmake --build "$linux" --target pupdate-sim >/dev/null

needed=()
command -v Xvfb >/dev/null || needed+=(xvfb)
[ -z "$shots" ] || command -v import >/dev/null || needed+=(imagemagick)
if [ ${#needed[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -q
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${needed[@]}"
fi

work=$(mktemp -d /tmp/pupdate-extend-XXXXXX)
children=()
stop_server=0
cleanup() {
  for pid in "${children[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${children[@]}"; do wait "$pid" 2>/dev/null || true; done
  [ "$stop_server" = 0 ] || "$wineserver" -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "test-windows-extend: $*" >&2
  exit 1
}

export WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
if [ -z "${WINEPREFIX:-}" ] || [ ! -d "$WINEPREFIX/dosdevices" ]; then
  export WINEPREFIX=$work/prefix
  stop_server=1
  mkdir -p "$WINEPREFIX"
  setsid "$wineserver" -p </dev/null >/dev/null 2>&1
  timeout 600 "$wine" wineboot -i >/dev/null 2>&1 || fail "wineboot could not make the prefix"
fi

# Two boards on ports of their own, linked into the prefix.
start_board() {
  local model=$1 first=$2
  "$linux/sim/pupdate-sim" --model "$model" --board-port "COM$first" \
    --servo-port "COM$((first + 1))" --step-port "COM$((first + 2))" \
    --port-map-file "$work/$model.map" >"$work/$model.log" 2>&1 &
  children+=($!)
  eval "${model}_pid=$!"
  for _ in $(seq 150); do
    [ -s "$work/$model.map" ] && break
    sleep 0.2
  done
  [ -s "$work/$model.map" ] || fail "pupdate-sim --model $model did not start: $(cat "$work/$model.log")"
  local entry
  IFS=, read -ra entries <"$work/$model.map"
  for entry in "${entries[@]}"; do
    if [ "${entry%%=*}" = "COM$first" ]; then ln -sfn "${entry#*=}" "$WINEPREFIX/dosdevices/com$first"; fi
  done
}
start_board nr2 21
start_board r1ps 24

# The board's report line of its extend settings.
extend_report() {
  local model=$1 pid before
  pid=$(eval echo "\$${model}_pid")
  before=$(grep -c 'board extend settings: ' "$work/$model.log" || true)
  kill -USR1 "$pid"
  for _ in $(seq 100); do
    [ "$(grep -c 'board extend settings: ' "$work/$model.log" || true)" -gt "$before" ] && break
    sleep 0.1
  done
  grep 'board extend settings: ' "$work/$model.log" | tail -n 1 | sed 's/^.*board extend settings: //'
}

# A display of our own unless one is given. The prefix's desktop process
# belongs to the display it first saw (none, after wineboot): start the Wine
# server afresh so that the dialogs reach this one, and stop it at the end.
if [ -z "${DISPLAY:-}" ]; then
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  children+=($!)
  for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
  done
  [ -s "$work/display" ] || fail "Xvfb did not start"
  export DISPLAY=:$(cat "$work/display")
fi
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w 2>/dev/null || true
setsid "$wineserver" -p </dev/null >/dev/null 2>&1
stop_server=1

if [ -n "$shots" ]; then
  mkdir -p "$shots"
  # Each dialog after a Load, cut out of the screen by the rectangle the
  # driver reports (without a window manager Wine draws no caption).
  shoot() {
    local model=$1 port=$2 name=$3
    rm -f "$work/done"
    (timeout 300 "$wine" "$driver" --show "$model" "$port" "$(printf 'Z:%s' "${work//\//\\}")\\done" \
      >"$work/show.out" 2>&1; echo "exit $?" >>"$work/show.out") &
    local shower=$!
    for _ in $(seq 2400); do
      grep -aq 'shown [0-9]\|^exit' "$work/show.out" 2>/dev/null && break
      sleep 0.1
    done
    read -r _ x y w h < <(grep -ao 'shown [0-9 ]*' "$work/show.out") \
      || fail "the $model dialog did not show: $(cat "$work/show.out")"
    sleep 0.5
    import -window root -crop "${w}x${h}+${x}+${y}" "$shots/$name"
    touch "$work/done"
    wait "$shower"
    echo "$shots/$name"
  }
  export -f shoot fail
  export wine driver work shots
  bash -c 'shoot NR2 COM21 windows-extend-nr2.png && shoot R1PS COM24 windows-extend-r1ps.png'
  exit 0
fi

echo "== Extend setting dialogs under Wine"
status=0
(cd "$work" && timeout 300 "$wine" "$driver" COM21 COM24 >"$work/driver.out" 2>&1) || status=$?
LC_ALL=C tr -cd '\11\12\40-\176' <"$work/driver.out" | grep '^==\|passed\|FAILED' || true
[ "$status" -eq 0 ] || fail "the extend setting driver ended with status $status"

expect_board() {
  local model=$1 expected held wanted
  expected=$(tr -d '\r' <"$work/driver.out" | LC_ALL=C sed -n "s/^${model^^} sent: //p")
  [ -n "$expected" ] || fail "the driver did not say what the $model dialog sent"
  # "p1 p2 ...; speed" from the NR2 dialog, "p1 p2 ..." from the R1PS one.
  if [[ $expected == *";"* ]]; then
    wanted="punch positions ${expected%%;*}; press speed ${expected#*; }"
  else
    wanted="punch positions $expected"
  fi
  held=$(extend_report "$model")
  [ "$held" = "$wanted" ] || fail "the $model board holds \"$held\", the dialog sent \"$wanted\""
}
expect_board nr2
expect_board r1ps
echo "Extend settings: the boards hold what the dialogs saved."
