# The Windows dialogs driven as a user would, under a virtual display, against
# the twins. Sourced by scripts/test-windows.sh once pupdate-sim runs: it uses
# that script's prefix, twins, server and helpers (fail, children; winpath,
# twin_report, flash_report of wine-stage.sh) and the results of its console
# jobs ($held).
# tests/windows/driver/DialogDriver.exe reads and presses the controls.

echo "== Dialogs under Xvfb"
missing=()
for tool in Xvfb:xvfb xdotool:xdotool wrestool:icoutils; do
  command -v "${tool%%:*}" >/dev/null || missing+=("${tool#*:}")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get update -q >/dev/null
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

# The program's resources: the dialog templates, its icon, version block and manifest.
resources=$(wrestool -l "$windows/src/PelluxUpdateV3.exe")
for resource in '--name=103 .*type=dialog' '--name=104 .*type=dialog' '--name=107 .*type=dialog' \
  '--name=108 .*type=dialog' 'type=group_icon' 'type=version' '--type=24 '; do
  grep -q -- "$resource" <<<"$resources" || fail "PelluxUpdateV3.exe has no resource $resource:
$resources"
done
echo "Resources: dialogs 103, 104, 107, 108, icon, version block, manifest"

# A display of its own, away from the ones other runs on this machine use.
display=$((200 + $$ % 500))
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
  display=$((display + 1))
done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
children+=($!)
for _ in $(seq 100); do
  [ -e "/tmp/.X11-unix/X$display" ] && break
  sleep 0.1
done
[ -e "/tmp/.X11-unix/X$display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"

# Wine's desktop takes the display of the process that starts it: start the
# prefix's server again, so that the first program of this section does.
"$wineserver" -k 2>/dev/null || true
previous_display=${DISPLAY-}
export DISPLAY=":$display"
setsid "$wineserver" -p </dev/null >/dev/null 2>&1

dialogs=$work/dialogs
mkdir -p "$dialogs/logs"
driver() { "$wine" "$windows/tests/windows/DialogDriver.exe" "$@"; }
list_sim_ports
IFS=, read -ra entries <"$work/portmap"

# Starts the dialog program under the name $1 with the server URL $2 (none: the name's).
start_dialog() {
  cp "$windows/src/PelluxUpdateV3.exe" "$dialogs/$1.exe"
  local server=(env PUPDATE_SERVER_URL="$2")
  [ -n "$2" ] || server=(env -u PUPDATE_SERVER_URL)
  (cd "$dialogs" && PUPDATE_LOG_DIR=$(winpath "$dialogs/logs") \
    exec "${server[@]}" "$wine" "./$1.exe" </dev/null >"$dialogs/$1.out" 2>&1) &
  dialog=$!
  children+=($dialog)
  dialog_name=$1
}
# Presses Close and waits for the program to end with status 0.
close_dialog() {
  driver click "$1" 2
  timeout 60 tail --pid="$dialog" -f /dev/null || fail "Close did not end $dialog_name"
  local status=0
  wait "$dialog" || status=$?
  [ "$status" -eq 0 ] || fail "$dialog_name ended with status $status: $(cat "$dialogs/$dialog_name.out")"
}
logs_now() { ls "$dialogs/logs"; }
# Waits for the job log that is not among $1 (logs_now before the job) to
# end, and checks that it ends Complete.
job_complete() {
  local before=$1 what=$2 log=
  for _ in $(seq 1800); do
    [ -n "$log" ] || log=$(comm -13 <(echo "$before") <(logs_now) | head -n 1)
    if [ -n "$log" ] && tail -n 1 "$dialogs/logs/$log" | tr -d '\r' | grep -Eq '  (Complete|Error.*)$'; then
      tail -n 1 "$dialogs/logs/$log" | tr -d '\r' | grep -q '  Complete$' || fail "$what: $(tail -n 5 "$dialogs/logs/$log")"
      echo "$what: Complete (${log#*_*_})"
      # A job console that holds the result waits for a key.
      driver release "$main" 60 || fail "$what: the dialog did not come back after the job"
      return
    fi
    sleep 0.1
  done
  fail "$what: no job result within 180 s: $(tail -n 3 "$dialogs/logs/$log" 2>/dev/null)"
}
# How often the twins logged $1 so far (a report first makes them write out their log).
sim_events() {
  twin_report 'servo drive holds ' >/dev/null
  grep -c "$1" "$work/sim.log" || true
}
# The names a server list gives (its lines after the header).
server_list() {
  python3 -c 'import sys, urllib.request
lines = urllib.request.urlopen(sys.argv[1]).read().decode().rstrip("\n").split("\n")
print("\n".join(lines[1:]))' "$sim_url$1"
}

# A window of the machine application is asked to exit at start-up.
driver fbwin 120 >"$dialogs/fbwin.out" 2>&1 &
fbwin=$!
children+=($fbwin)
for _ in $(seq 300); do
  grep -q ready "$dialogs/fbwin.out" && break
  sleep 0.1
done
grep -q ready "$dialogs/fbwin.out" || fail "the FBWin window did not open: $(cat "$dialogs/fbwin.out")"

main='PelluxUpdateV3 (V251112) - '
start_dialog PelluxUpdateV3 "$sim_url"
title=$(driver wait "$main" 60) || fail "the main dialog did not open: $(cat "$dialogs/PelluxUpdateV3.out")"
[ "$(tr -d '\r' <<<"$title")" = "$main$sim_url" ] || fail "the title reads \"$title\""
timeout 30 tail --pid="$fbwin" -f /dev/null && wait "$fbwin" \
  && grep -qx 'command 57665' <(tr -d '\r' <"$dialogs/fbwin.out") \
  || fail "the FBWin window was not sent its exit command: $(cat "$dialogs/fbwin.out")"
echo "FBWin test: asked to exit (WM_COMMAND 57665)"

machines=$(driver combo "$main" 1003 | tr -d '\r')
expected=$(cut -d, -f1 "$work/content/machlist.txt" | sed '1s/^/*/')
[ "$machines" = "$expected" ] || fail "the machine list differs from the server's:
$(diff <(echo "$expected") <(echo "$machines"))"
ports=$(driver combo "$main" 1005 | tr -d '\r*')
for entry in "${entries[@]}"; do
  grep -qx "${entry%%=*}" <<<"$ports" || fail "port ${entry%%=*} is not listed: $ports"
done
echo "Main dialog: title, $(wc -l <<<"$machines") machines from the server, ports $(echo $ports)"

compact=$(driver height "$main" | tr -d '\r')
xdotool key ctrl+e
driver wait "$main$sim_url For Engineer" 30 >/dev/null || fail "Ctrl+E did not show the engineer view"
engineer=$(driver height "$main" | tr -d '\r')
[ "$engineer" -gt $((compact * 3 / 2)) ] || fail "the engineer view is $engineer px high, compact $compact px"
echo "Ctrl+E: engineer view ($compact px -> $engineer px)"

# The user's choices: New R2 Bender on the control board's port.
nr2=$(grep -n '' <<<"$machines" | grep ':New R2 Bender$' | cut -d: -f1)
com3=$(grep -nx COM3 <<<"$ports" | cut -d: -f1)
driver select "$main" 1003 $((nr2 - 1))
driver select "$main" 1005 $((com3 - 1))
stored() { "$wine" reg query 'HKCU\SOFTWARE\PelluxUpdateV3' /v MachineType 2>/dev/null || true; }
for _ in $(seq 50); do
  grep -q 'REG_SZ *New R2 Bender' <<<"$(stored)" && break
  sleep 0.1
done
grep -q 'REG_SZ *New R2 Bender' <<<"$(stored)" || fail "the choice was not stored in the registry: $(stored)"

# Presses button $2 of window $1, which runs a firmware job: the board must
# be erased and flashed again, with the file of the server.
flashed_by() {
  local erased before
  erased=$(sim_events 'erased the whole flash')
  before=$(logs_now)
  driver click "$1" "$2"
  job_complete "$before" "$3"
  [ "$(sim_events 'erased the whole flash')" -gt "$erased" ] || fail "$3 did not flash the board"
  flash_report | grep -q 'flash matches' || fail "after $3: $(flash_report)"
}

flashed_by "$main" 1004 "Online Update (Firmware)"

# Online Update (Selectable): Select File offers the server's list, OK runs the selected file.
driver click "$main" 1006
driver wait 'Select File' 60 >/dev/null || fail "Select File did not open"
offered=$(driver combo 'Select File' 1006 | tr -d '\r')
listed=$(server_list 'filelist.php?MachineName=NR2/FIRMWARE' | sed '1s/^/*/')
[ "$offered" = "$listed" ] || fail "Select File offers \"$offered\", the server lists \"$listed\""
flashed_by 'Select File' 1005 "Select File OK (Firmware)"
driver click 'Select File' 2
driver gone 'Select File' 30 || fail "Close did not end Select File"

# Local Update, FPGA: the open-file dialog with its filter, the twin's store.
mkdir -p "$dialogs/picked"
fpga=$(ls "$work/content/NR2/FPGA/"*.bin | head -n 1)
cp "$fpga" "$dialogs/picked/image.bin"
driver click "$main" 1001
received=$(sim_events 'FPGA image received')
before=$(logs_now)
driver click "$main" 1008
filters=$(driver open-file "$(winpath "$dialogs/picked/image.bin")" 60 | tr -d '\r') \
  || fail "the open-file dialog did not open"
grep -qx '\*\?FPGA Rom (\*.BIN) ' <<<"$filters" || fail "the open-file dialog offers \"$filters\""
job_complete "$before" "Local Update (FPGA)"
[ "$(sim_events 'FPGA image received')" -gt "$received" ] || fail "Local Update sent no image"
store=$(twin_report 'FPGA store ')
grep -q "FPGA store matches NR2/FPGA/${fpga##*/}: $(stat -c %s "$fpga") bytes" <<<"$store" \
  || fail "after Local Update: $store"
# The picked file's folder holds no temporary file of the job: the current
# folder did not follow the pick.
[ "$(ls "$dialogs/picked")" = image.bin ] || fail "the job left files beside the picked one: $(ls "$dialogs/picked")"

# Servo Driver Setting and Step Driver Setting: Select File from the alternative list.
select_and_run() {
  local button=$1 mode=$2 port=$3
  driver select "$main" 1005 $(($(grep -nx "$port" <<<"$ports" | cut -d: -f1) - 1))
  driver click "$main" "$button"
  driver wait 'Select File' 60 >/dev/null || fail "Select File did not open for $mode"
  offered=$(driver combo 'Select File' 1006 | tr -d '\r')
  listed=$(server_list "filelistx.php?MachineName=NR2/$mode" | sed '1s/^/*/')
  [ "$offered" = "$listed" ] || fail "Select File offers \"$offered\" for $mode, the server lists \"$listed\""
  before=$(logs_now)
  driver click 'Select File' 1005
  job_complete "$before" "$mode from Select File"
  driver click 'Select File' 2
  driver gone 'Select File' 30 || fail "Close did not end Select File"
}
select_and_run 1011 SERVO COM5
[ "$(twin_report 'servo drive holds ' | sed 's/^\[[^]]*\] //')" = "$(sed 's/^\[[^]]*\] //' <<<"$held")" ] \
  || fail "after the servo job the drive holds $(twin_report 'servo drive holds ')"
select_and_run 1012 STEP COM6
close_dialog "$main"

# The choice is restored at the next start.
start_dialog PelluxUpdateV3 "$sim_url"
driver wait "$main" 60 >/dev/null || fail "the main dialog did not open again"
selected=$(driver combo "$main" 1003 | tr -d '\r' | sed -n 's/^\*//p')
[ "$selected" = "New R2 Bender" ] || fail "the second start selects \"$selected\""
# Extend Setting of a machine that has none.
driver select "$main" 1003 0
driver dblclick "$main"
driver wait "For Engineer" 30 >/dev/null || fail "a double-click did not show the engineer view"
driver click "$main" 1013
message=$(driver message 60 | tr -d '\r') || fail "Extend Setting showed no message"
[ "$message" = "This machine has no extend setting function." ] || fail "Extend Setting says \"$message\""
# A machine the server has no step files for: Select File says why its list is empty.
notcher=$(grep -n '' <<<"$machines" | grep ':Profile Notcher$' | cut -d: -f1)
driver select "$main" 1003 $((notcher - 1))
driver click "$main" 1012
driver wait 'Select File' 60 >/dev/null || fail "Select File did not open for an empty list"
[ -z "$(driver combo 'Select File' 1006)" ] || fail "Select File offers files for PROFILENOTCHER/STEP"
status=$(driver text 'Select File' 1022 | tr -d '\r')
[ -n "$status" ] || fail "Select File does not say why its list is empty"
echo "Select File with an empty list: \"$status\""
driver click 'Select File' 2
driver gone 'Select File' 30 || fail "Close did not end Select File"
[ -z "$(driver text "$main" 1022)" ] || fail "the main dialog shows a status line online"
driver select "$main" 1003 $((nr2 - 1))
close_dialog "$main"
echo "Registry: MachineType restored at the second start"

# Local mode by name; a PIP- name sets the server, unreachable here: local mode too.
start_dialog PelluxUpdateV3L "$sim_url"
driver wait "$main" 60 >/dev/null || fail "PelluxUpdateV3L did not open"
[ "$(driver combo "$main" 1003 | tr -d '\r')" = '*Local Update' ] || fail "PelluxUpdateV3L is not in local mode"
status=$(driver text "$main" 1022 | tr -d '\r')
[ "$status" = "Local mode: the program's name ends in L." ] || fail "PelluxUpdateV3L says \"$status\""
close_dialog "$main"
start_dialog PIP-127.0.0.2 ''
title=$(driver wait "$main" 60 | tr -d '\r') || fail "PIP-127.0.0.2.exe did not open"
[ "$title" = "${main}http://127.0.0.2/" ] || fail "PIP-127.0.0.2.exe reads \"$title\""
status=$(driver text "$main" 1022 | tr -d '\r')
[[ $status == "Local mode: no machine list from http://127.0.0.2/machlist.txt ("* ]] \
  || fail "PIP-127.0.0.2.exe says \"$status\""
close_dialog "$main"
echo "Local mode: PelluxUpdateV3L and an unreachable PIP- server"

if [ -n "$previous_display" ]; then export DISPLAY=$previous_display; else unset DISPLAY; fi
