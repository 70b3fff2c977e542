#!/usr/bin/env bash
# The Windows stage: the cross-built core tests under Wine, then the Windows
# programs end to end, as a Windows user runs them, against the Linux virtual
# machine (pupdate-sim) whose ports are linked into a temporary Wine prefix.
# PUPDATE_SKIP_WINDOWS=1 skips it (quick local runs only; CI never sets it).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [ "${PUPDATE_SKIP_WINDOWS:-0}" = 1 ]; then
  echo "Windows stage skipped (PUPDATE_SKIP_WINDOWS=1)."
  exit 0
fi

missing=()
for package in wine64 xvfb; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -q
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

./scripts/build-windows.sh
windows=$(realpath -m "${PUPDATE_WINDOWS_BUILD_DIR:-build-windows}")
# The Linux side: the virtual machine and the update server.
linux=$(realpath -m "${PUPDATE_LINUX_BUILD_DIR:-build}")
if [ ! -x "$linux/sim/pupdate-sim" ] || [ ! -x "$linux/server/pupdate-server" ]; then
  cmake -S . -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$linux" -j"$(nproc 2>/dev/null || echo 2)" --target pupdate-sim pupdate-server
fi

work=$(mktemp -d /tmp/pupdate-windows-XXXXXX)
children=()
cleanup() {
  for pid in "${children[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${children[@]}"; do wait "$pid" 2>/dev/null || true; done
  WINEPREFIX=$work/prefix "$wineserver" -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "test-windows: $*" >&2
  exit 1
}

# Z:\ is the Linux root in every Wine prefix.
winpath() { printf 'Z:%s' "${1//\//\\}"; }

export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
echo "== Wine prefix"
# A server of its own, so that no program's output or Ctrl+C reaches it.
mkdir -p "$WINEPREFIX"
setsid "$wineserver" -p </dev/null >/dev/null 2>&1
timeout 600 "$wine" wineboot -i >/dev/null 2>&1 || fail "wineboot could not make the prefix"

# A pseudo-terminal that echoes every byte, as COM9.
python3 - "$WINEPREFIX/dosdevices/com9" >"$work/echo.log" 2>&1 <<'PY' &
import os, pty, select, sys, tty
master, slave = pty.openpty()
tty.setraw(slave)
os.symlink(os.ttyname(slave), sys.argv[1])
print("ready", flush=True)
while True:
    select.select([master], [], [])
    data = os.read(master, 4096)
    os.write(master, data)
    print("echoed", len(data), flush=True)
PY
children+=($!)

# The update server over a small tree, for the HTTP tests.
mkdir -p "$work/tree/NR2/FIRMWARE"
python3 -c "
import sys
with open(sys.argv[1], 'w') as f:
    for i in range(4000):
        f.write(':10%04X00%s\n' % (i * 16 % 65536, '%02X' % (i % 256) * 16))
" "$work/tree/NR2/FIRMWARE/NR2_FW.hex"
echo "New R2 Bender,NR2" >"$work/tree/machlist.txt"
"$linux/server/pupdate-server" --root "$work/tree" --port 0 >"$work/server.log" 2>&1 &
children+=($!)

# Packages made by other ZIP writers.
archives=$work/archives
mkdir -p "$archives/src/bin"
head -c 70000 /dev/zero | tr '\0' F >"$archives/src/bin/Fabro.exe"
printf 'read me\n' >"$archives/src/readme.txt"
(cd "$archives/src" && zip -q -r ../infozip.zip .)
printf 'secret' >"$archives/secret.txt"
(cd "$archives" && zip -q -P password encrypted.zip secret.txt)
python3 - "$archives" <<'PY'
import struct, sys, zipfile
out = sys.argv[1]
def archive(name, items):
    with zipfile.ZipFile(out + '/' + name, 'w') as z:
        for item in items:
            info = zipfile.ZipInfo(item[0], date_time=item[4] if len(item) > 4 else (2020, 1, 2, 3, 4, 6))
            info.create_system = item[2]
            info.external_attr = item[3]
            info.compress_type = zipfile.ZIP_DEFLATED
            if len(item) > 5:
                info.extra = item[5]
            z.writestr(info, item[1])
archive('attributes.zip', [
    ('readonly.txt', b'r', 0, 0x21), ('hidden.txt', b'h', 0, 0x22), ('normal.txt', b'n', 0, 0x20),
    ('unix-readonly.txt', b'u', 3, 0o100444 << 16),
    ('dos.txt', b'd', 0, 0x20, (2010, 5, 6, 7, 8, 10)),
    ('ut.txt', b't', 3, 0o100644 << 16, (2020, 1, 2, 3, 4, 6),
     struct.pack('<HHBi', 0x5455, 5, 1, 1500000001)),
])
archive('traversal.zip', [('..\\..\\Windows\\x.dll', b'1', 0, 0x20), ('C:\\temp\\a.txt', b'2', 0, 0x20),
                          ('sub/../../up.txt', b'3', 3, 0o100644 << 16)])
with zipfile.ZipFile(out + '/damaged.zip', 'w') as z:
    z.writestr('first.txt', b'first')
    z.writestr(zipfile.ZipInfo('second.txt'), b'second item')
data = bytearray(open(out + '/damaged.zip', 'rb').read())
data[data.find(b'second item')] ^= 0x20
open(out + '/damaged.zip', 'wb').write(data)
PY

for _ in $(seq 100); do
  grep -q '^Serving' "$work/server.log" 2>/dev/null && grep -q ready "$work/echo.log" && break
  sleep 0.2
done
server_url=$(sed -n 's|^Serving .* on \(http://[^ ]*\)$|\1|p' "$work/server.log")
[ -n "$server_url" ] || fail "the update server did not start: $(cat "$work/server.log")"

echo "== Core tests under Wine"
PUPDATE_TEST_SERVER_URL=$server_url PUPDATE_TEST_SERVER_TREE=$(winpath "$work/tree") \
  PUPDATE_TEST_ARCHIVES=$(winpath "$archives") \
  timeout 900 "$wine" "$windows/tests/windows/pupdate_windows_tests.exe" --gtest_brief=1 \
  || fail "core tests failed under Wine"


echo "== Jobs end to end against pupdate-sim"
"$linux/sim/pupdate-sim" --server --port-map-file "$work/portmap" --content "$work/content" \
  >"$work/sim.log" 2>&1 &
sim=$!
children+=($sim)
for _ in $(seq 150); do
  [ -s "$work/portmap" ] && grep -q '^PUPDATE_SERVER_URL=' "$work/sim.log" && break
  sleep 0.2
done
[ -s "$work/portmap" ] || fail "pupdate-sim did not start: $(cat "$work/sim.log")"
IFS=, read -ra entries <"$work/portmap"
for entry in "${entries[@]}"; do
  name=${entry%%=*}
  ln -sfn "${entry#*=}" "$WINEPREFIX/dosdevices/${name,,}"
done
sim_url=$(sed -n 's/^PUPDATE_SERVER_URL=//p' "$work/sim.log")
unset PUPDATE_PORT_MAP

run=$work/run
mkdir -p "$run"
# Runs the Windows program under a job name, as the machine's PC application does.
job() {
  local name=$1
  shift
  cp "$windows/src/PelluxUpdateV3.exe" "$run/$name.exe"
  local status=0
  (cd "$run" && PUPDATE_SERVER_URL=$sim_url timeout 900 "$wine" "./$name.exe" "$@" \
    </dev/null >"$work/$name.out" 2>&1) || status=$?
  # The result line; the job's log file may be named after it.
  if [ "$status" -ne 0 ] || ! tr -d '\r' <"$work/$name.out" | grep -qx Complete; then
    cat "$work/$name.out" >&2
    fail "$name ended with status $status, not Complete"
  fi
  echo "$name: Complete"
}
# Asks the twins for their report (the flash, the FPGA store, the servo
# drive's parameters; the servo line comes last) and prints the line of
# `what` from it.
twin_report() {
  local what=$1 before
  before=$(grep -c '^\[.*\] servo drive holds ' "$work/sim.log" || true)
  kill -USR1 "$sim"
  for _ in $(seq 100); do
    [ "$(grep -c '^\[.*\] servo drive holds ' "$work/sim.log" || true)" -gt "$before" ] && break
    sleep 0.1
  done
  grep "^\[.*\] $what" "$work/sim.log" | tail -n 1
}
flash_report() { twin_report 'flash '; }
# The boot switch set and the power cycled: the board waits in its ROM bootloader.
boot_switch() {
  local before
  before=$(grep -c 'STM32 bootloader started' "$work/sim.log" || true)
  kill -USR2 "$sim"
  for _ in $(seq 100); do
    [ "$(grep -c 'STM32 bootloader started' "$work/sim.log" || true)" -gt "$before" ] && return
    sleep 0.1
  done
  fail "the board did not enter its bootloader"
}

job PUpdate-NR2-Firmware-COM3
flash_report | grep -q 'flash matches' || fail "after the firmware job: $(flash_report)"

job PUpdate-NR2-FPGA-COM3
fpga=$(ls "$work/content/NR2/FPGA/"*.bin | head -n 1)
store=$(twin_report 'FPGA store ')
grep -q "FPGA store matches NR2/FPGA/${fpga##*/}: $(stat -c %s "$fpga") bytes" <<<"$store" \
  || fail "the board's FPGA store does not hold the image sent: $store"

job PUpdate-NR2-Servo-COM5
# The drive holds the setting file's values (after its factory reset), read
# here from the file itself; the line named 999 starts the auto-tuning.
settings=$(ls "$work/content/NR2/SERVO/"*.txt | head -n 1)
held=$(twin_report 'servo drive holds ')
python3 - "$settings" "$held" <<'PY' || fail "the servo drive does not hold the setting file's values"
import re, sys
expected, tuning = [], False
for line in open(sys.argv[1], encoding='latin-1').read().split('\n'):
    if '=' not in line:
        continue
    name, rest = line.split('=', 1)
    value = re.split(r'[\t /]', rest, maxsplit=1)[0]
    if name == '999':
        tuning = True
    else:
        expected.append(name + '=' + value)
held = sys.argv[2]
match = re.search(r'servo drive holds (?:no parameters|\d+ parameters?:((?: [^ ;]+)*)); auto-tuning (started|not started)$', held)
if not match:
    sys.exit('unreadable report: ' + held)
pairs = (match.group(1) or '').split()
if sorted(pairs) != sorted(expected) or (match.group(2) == 'started') != tuning:
    sys.exit('held: %s\nsent: %s, auto-tuning %s' % (held, ' '.join(expected), tuning))
PY

fabro=$work/Fabro
PUPDATE_FABRO_DIR=$(winpath "$fabro") job PUpdate-NR2-Application-COM3
package=$(ls "$work/content/NR2/APPLICATION/"*.zip | head -n 1)
expected=$(unzip -Z1 "$package" | grep -v '/$' | sort)
installed=$(cd "$fabro" && find . -type f | sed 's|^\./||' | sort)
[ "$expected" = "$installed" ] || fail "the installed files differ from the package:
$(diff <(echo "$expected") <(echo "$installed"))"

# The flash loader on its own, with the firmware update's argument list.
firmware=$(ls "$work/content/NR2/FIRMWARE/"NR2_FW*.hex | head -n 1)
cp "$root/resources/maps/STM32_High-density_256K.map" "$run/map.map"
cp "$firmware" "$run/firmware.hex"
flash_loader() {
  (cd "$run" && timeout 900 "$wine" "$windows/src/FlashLoader.exe" "$@" </dev/null \
    >"$work/FlashLoader.out" 2>&1) || { cat "$work/FlashLoader.out" >&2; fail "FlashLoader $* failed"; }
}
boot_switch
flash_loader -c --pn 3 --br 57600 --to 3000 -i map -e --all
flash_report | grep -q 'flash does NOT match' || fail "the erase left the flash as it was"
boot_switch
flash_loader -c --pn 3 --br 57600 --to 3000 -i map -e --all -d --fn firmware.hex --v --o -r --a 8000000
flash_report | grep -q 'flash matches' || fail "after FlashLoader: $(flash_report)"
echo "FlashLoader: flash matches"

# Ctrl+C (a console control event) ends a job that waits on its port, and the
# job closes the port on its way out.
cp "$windows/src/PelluxUpdateV3.exe" "$run/PUpdate-NR2-FPGA-COM9.exe"
head -c 1000 /dev/zero >"$run/image.bin"
mkfifo "$work/keys"
exec 7<>"$work/keys"
echoed=$(grep -c echoed "$work/echo.log" || true)
(cd "$run" && exec "$wine" ./PUpdate-NR2-FPGA-COM9.exe image.bin local <&7 >"$work/ctrlc.out" 2>&1) &
waiting=$!
# The reset byte has gone out on the port: the job now waits for the board.
for _ in $(seq 300); do
  [ "$(grep -c echoed "$work/echo.log" || true)" -gt "$echoed" ] && break
  sleep 0.2
done
[ "$(grep -c echoed "$work/echo.log" || true)" -gt "$echoed" ] \
  || fail "the job did not open its port: $(cat "$work/ctrlc.out")"
# Wine turns SIGINT into the console's Ctrl+C event; one that arrives while
# Wine itself is busy can be lost, so press it again as a user would.
for _ in $(seq 30); do
  kill -INT "$waiting" 2>/dev/null || break
  timeout 2 tail --pid="$waiting" -f /dev/null && break
done
status=0
timeout 60 tail --pid="$waiting" -f /dev/null || fail "Ctrl+C did not end the job"
wait "$waiting" || status=$?
exec 7>&-
[ "$status" -ne 0 ] && tr -d '\r' <"$work/ctrlc.out" | grep -qx Error \
  || fail "after Ctrl+C: status $status, $(tr -d '\r' <"$work/ctrlc.out" | tail -n 3)"
echo "Ctrl+C: the job ended with Error"

. scripts/test-windows-console.sh

echo "Windows stage passed."
