# Console job mode as a Windows user meets it, sourced by test-windows.sh
# (its prefix, pupdate-sim, $run and helpers): the "Complete" and "Error"
# boxes of jobs started as Explorer starts them, a copy's name refused,
# Ctrl+C in a job's console and with standard input on a pipe, the line ends
# of redirected output and logs, and --help. The boxes are read and pressed
# by MessageBoxWatch.exe on a virtual display of this stage's own.
echo "== Console job mode: message boxes, Ctrl+C, line ends, --help"
watch=$windows/tests/windows/MessageBoxWatch.exe
number=$((150 + $$ % 100))
Xvfb ":$number" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
children+=($!)
for _ in $(seq 100); do [ -S "/tmp/.X11-unix/X$number" ] && break; sleep 0.1; done
[ -S "/tmp/.X11-unix/X$number" ] || fail "Xvfb :$number did not start: $(cat "$work/xvfb.log")"
# The prefix's desktop is made by the first program after the server
# starts: a fresh server, so that it is made on this display.
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w 2>/dev/null || true
export DISPLAY=:$number
logs=$(find "$WINEPREFIX/drive_c/users" -type d -path '*/PelluxUpdate/logs' | head -n 1)
[ -n "$logs" ] || fail "the jobs wrote no logs under %LOCALAPPDATA%"

# --help speaks of Windows: COM ports, C:\Fabro, the logs' folder.
"$wine" "$windows/src/PelluxUpdateV3.exe" --help </dev/null >"$work/help.out" 2>&1 \
  || fail "--help failed: $(cat "$work/help.out")"
for text in 'COM3' 'C:\Fabro' '%LOCALAPPDATA%\PelluxUpdate\logs'; do
  grep -qF "$text" "$work/help.out" || fail "--help does not name $text: $(cat "$work/help.out")"
done
if grep -E '/dev|\$HOME|DISPLAY|~/' "$work/help.out"; then fail "--help speaks of Linux"; fi

# One line-end convention: CRLF, never CR CR LF, in redirected output and logs.
crlf_only() {
  python3 - "$1" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
bad = [i for i, b in enumerate(data) if b == 10 and (i == 0 or data[i - 1] != 13)]
if bad or b'\r\r\n' in data or not data.endswith(b'\r\n'):
    sys.exit('%s: %d bare line feeds, %d CR CR LF' % (sys.argv[1], len(bad), data.count(b'\r\r\n')))
PY
}
crlf_only "$work/PUpdate-NR2-Firmware-COM3.out" || fail "redirected output has mixed line ends"
crlf_only "$(ls -t "$logs"/*FIRMWARE-COM3*.log | head -n 1)" || fail "the job log has mixed line ends"
echo "line ends: CRLF only"


# Starts a job copy as Explorer does (no console, no standard handles) and
# reads the box it ends with; `gesture` is a helper's extra gesture meanwhile.
boxed_job() {
  local name=$1 expected=$2 gesture=$3
  shift 3
  cp "$windows/src/PelluxUpdateV3.exe" "$run/$name.exe"
  DISPLAY=:$number timeout 300 "$wine" "$watch" box 240 >"$work/box.out" 2>&1 &
  local watcher=$! helper=
  if [ -n "$gesture" ]; then
    DISPLAY=:$number timeout 300 "$wine" "$watch" "$gesture" "$name.exe" 240 >"$work/gesture.out" 2>&1 &
    helper=$!
  fi
  local status=0
  (cd "$run" && DISPLAY=:$number PUPDATE_SERVER_URL=$sim_url timeout 300 \
    "$wine" start /wait /unix "$run/$name.exe" "$@" </dev/null >"$work/start.out" 2>&1 || { cat "$work/start.out" >&2; false; }) || status=$?
  wait "$watcher" || fail "$name: no message box: $(cat "$work/box.out")"
  [ -z "$helper" ] || wait "$helper" || fail "$name: $gesture failed: $(cat "$work/gesture.out")"
  grep -qx "PelluxUpdate: $expected" <(tr -d '\r' <"$work/box.out") \
    || fail "$name: the box says $(cat "$work/box.out"), not $expected"
  [ "$expected" = Complete ] && [ "$status" -ne 0 ] && fail "$name: Complete but status $status"
  [ "$expected" = Error ] && [ "$status" -eq 0 ] && fail "$name: Error but status 0"
  echo "$name: the \"$expected\" box, status $status"
}
newest_log() { ls -t "$logs"/*"$1"*.log | head -n 1; }

boxed_job PUpdate-NR2-FPGA-COM3 Complete ""
grep -q 'Complete$' <(tr -d '\r' <"$(newest_log NR2-FPGA-COM3)") || fail "the FPGA job's log"
boxed_job PUpdate-NR2-FPGA-COM3 Error "" missing.bin local
grep -q 'FPGA file open failed.' "$(newest_log NR2-FPGA-COM3)" || fail "the failed job's log"
# Explorer's copy: refused, with the prompt after "Running mode error." answered.
boxed_job "PUpdate-NR2-Servo-COM5 - Copy" Error enter
grep -q 'was not understood' "$(newest_log SERVO-COM5_-_COPY)" || fail "the copy's log"

# Ctrl+C in the job's console window while it waits for the board: the
# downloaded files are removed and the log says so.
online=$run/online
mkdir -p "$online"
cp "$windows/src/PelluxUpdateV3.exe" "$online/PUpdate-NR2-FPGA-COM9.exe"
DISPLAY=:$number timeout 300 "$wine" "$watch" box 240 >"$work/box.out" 2>&1 &
watcher=$!
echoed=$(grep -c echoed "$work/echo.log" || true)
(cd "$online" && DISPLAY=:$number PUPDATE_SERVER_URL=$sim_url timeout 300 \
  "$wine" start /wait /unix "$online/PUpdate-NR2-FPGA-COM9.exe" </dev/null >/dev/null 2>&1) &
waiting=$!
for _ in $(seq 300); do
  [ "$(grep -c echoed "$work/echo.log" || true)" -gt "$echoed" ] && break
  sleep 0.2
done
DISPLAY=:$number timeout 120 "$wine" "$watch" ctrl-c PUpdate-NR2-FPGA-COM9.exe 60 \
  || fail "could not press Ctrl+C in the job's console"
status=0
wait "$waiting" || status=$?
wait "$watcher" || fail "no box after Ctrl+C: $(cat "$work/box.out")"
grep -qx 'PelluxUpdate: Error' <(tr -d '\r' <"$work/box.out") && [ "$status" -ne 0 ] \
  || fail "after Ctrl+C in the console: status $status, box $(cat "$work/box.out")"
left=$(cd "$online" && ls | grep -v '\.exe$' || true)
[ -z "$left" ] || fail "Ctrl+C left files behind: $left"
grep -q 'Error (cancelled)' "$(newest_log NR2-FPGA-COM9)" || fail "the cancelled job's log"
echo "Ctrl+C in the job's console: the \"Error\" box, status $status, no files left"

# A key prompt with standard input on a pipe ends on Ctrl+C too.
cp "$windows/src/PelluxUpdateV3.exe" "$run/PUpdate-NR2-Servo-COM5 - Copy.exe"
mkfifo "$work/prompt-keys"
exec 8<>"$work/prompt-keys"
(cd "$run" && exec "$wine" "./PUpdate-NR2-Servo-COM5 - Copy.exe" <&8 >"$work/prompt.out" 2>&1) &
waiting=$!
for _ in $(seq 300); do grep -q 'not understood' "$work/prompt.out" 2>/dev/null && break; sleep 0.2; done
status=$(ctrl_c_until_ended "$waiting") || fail "Ctrl+C did not end the prompt on a pipe"
exec 8>&-
[ "$status" -ne 0 ] && grep -qx Error <<<"$(tr -d '\r' <"$work/prompt.out")" \
  || fail "prompt on a pipe: status $status, $(tr -d '\r' <"$work/prompt.out" | tail -n 3)"
echo "Ctrl+C at a prompt on a pipe: Error"
