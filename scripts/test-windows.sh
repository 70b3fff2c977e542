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

# Wine's BCrypt does its ECDSA through GnuTLS; openssl makes the test keys;
# the console jobs' message boxes need a display.
packages=(wine64 libgnutls30 openssl xvfb)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
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

. scripts/wine-stage.sh

echo "== Wine prefix"
make_wine_prefix

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
printf spaced >"$work/tree/NR2/FIRMWARE/NR2 FW v2.hex"
printf hashed >"$work/tree/NR2/FIRMWARE/fw#2.hex"
# The list keeps naming only the first file.
echo NR2_FW.hex >"$work/tree/NR2/FIRMWARE/.filelist"
"$linux/server/pupdate-server" --root "$work/tree" --port 0 >"$work/server.log" 2>&1 &
children+=($!)

# Signed update files: a publisher key and a stranger's, made with openssl,
# and a server whose filesig.php answers from the signatures written here
# (a file without one gets 404), for every case of the signature check.
signed=$work/signed
mkdir -p "$signed/keys/trusted" "$signed/secret" "$signed/tree/NR2/FPGA" "$signed/sigs/NR2/FPGA" \
  "$signed/local"
for key in publisher stranger; do
  openssl ecparam -name prime256v1 -genkey -noout -out "$signed/secret/$key.key" 2>/dev/null
done
openssl ec -in "$signed/secret/publisher.key" -pubout -out "$signed/keys/trusted/publisher.pub.pem" \
  2>/dev/null
# sign KEY PATH FILE: the base64 DER signature of the signed text of FILE at PATH.
sign() {
  printf 'PelluxUpdate signature 1\n%s\n%s\n' "$2" "$(sha256sum <"$3" | cut -d' ' -f1)" \
    >"$signed/message"
  openssl dgst -sha256 -sign "$signed/secret/$1.key" -out "$signed/signature.der" "$signed/message"
  openssl base64 -A -in "$signed/signature.der"
}
for name in good tampered otherpath stranger malformed unsigned; do
  head -c 3000 /dev/urandom >"$signed/tree/NR2/FPGA/$name.bin"
done
fpga=$signed/tree/NR2/FPGA
sign publisher NR2/FPGA/good.bin "$fpga/good.bin" >"$signed/sigs/NR2/FPGA/good.bin.sig"
sign publisher NR2/FPGA/tampered.bin "$fpga/tampered.bin" >"$signed/sigs/NR2/FPGA/tampered.bin.sig"
printf 'X' | dd of="$fpga/tampered.bin" bs=1 seek=100 conv=notrunc 2>/dev/null
sign publisher NR2/FIRMWARE/otherpath.bin "$fpga/otherpath.bin" \
  >"$signed/sigs/NR2/FPGA/otherpath.bin.sig"
sign stranger NR2/FPGA/stranger.bin "$fpga/stranger.bin" >"$signed/sigs/NR2/FPGA/stranger.bin.sig"
echo 'not a signature' >"$signed/sigs/NR2/FPGA/malformed.bin.sig"
# Files from disk, with their signatures beside them.
cp "$fpga/good.bin" "$fpga/tampered.bin" "$signed/local/"
cp "$signed/sigs/NR2/FPGA/good.bin.sig" "$signed/sigs/NR2/FPGA/tampered.bin.sig" "$signed/local/"
python3 - "$signed" >"$work/signed-server.log" 2>&1 <<'PY' &
import hashlib, http.server, os, sys, urllib.parse
root = sys.argv[1]
class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        path, _, query = self.path.partition('?')
        value = urllib.parse.parse_qs(query).get('FilePath', [''])[0]
        body = None
        if path == '/filelist.php':
            folder = os.path.join(root, 'tree', urllib.parse.parse_qs(query)['MachineName'][0])
            body = ('FileList\n' + ''.join(n + '\n' for n in sorted(os.listdir(folder)))).encode()
        elif path == '/filemd5.php':
            body = hashlib.md5(open(os.path.join(root, 'tree', value), 'rb').read()).hexdigest().encode()
        elif path == '/filesig.php':
            sig = os.path.join(root, 'sigs', value + '.sig')
            body = open(sig, 'rb').read() if os.path.exists(sig) else None
        elif os.path.isfile(os.path.join(root, 'tree', path.lstrip('/'))):
            body = open(os.path.join(root, 'tree', path.lstrip('/')), 'rb').read()
        self.send_response(200 if body is not None else 404)
        body = body if body is not None else b'not found'
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)
server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)
print('Serving on http://127.0.0.1:%d/' % server.server_address[1], flush=True)
server.serve_forever()
PY
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
archive('readonly-cfg.zip', [('CFG/readonly.cfg', b'package default', 0, 0x21),
                             ('CFG/plain.cfg', b'p', 0, 0x20), ('Fabro.exe', b'new', 0, 0x20)])
with zipfile.ZipFile(out + '/readonly-damaged.zip', 'w') as z:
    info = zipfile.ZipInfo('CFG/readonly.cfg', date_time=(2020, 1, 2, 3, 4, 6))
    info.create_system, info.external_attr = 0, 0x21
    z.writestr(info, b'package default')
    z.writestr(zipfile.ZipInfo('later.txt'), b'later item data')
data = bytearray(open(out + '/readonly-damaged.zip', 'rb').read())
data[data.find(b'later item data')] ^= 0x20
open(out + '/readonly-damaged.zip', 'wb').write(data)
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
for _ in $(seq 100); do
  grep -q '^Serving' "$work/signed-server.log" 2>/dev/null && break
  sleep 0.2
done
signed_url=$(sed -n 's|^Serving on \(http://[^ ]*\)$|\1|p' "$work/signed-server.log")
[ -n "$signed_url" ] || fail "the signature server did not start: $(cat "$work/signed-server.log")"

echo "== Core tests under Wine"
PUPDATE_TEST_SERVER_URL=$server_url PUPDATE_TEST_SERVER_TREE=$(winpath "$work/tree") \
  PUPDATE_TEST_ARCHIVES=$(winpath "$archives") \
  PUPDATE_TEST_SIGNED_URL=$signed_url PUPDATE_TEST_TRUSTED_KEYS=$(winpath "$signed/keys/trusted") \
  PUPDATE_TEST_SIGNED_LOCAL=$(winpath "$signed/local") \
  timeout 900 "$wine" "$windows/tests/windows/pupdate_windows_tests.exe" --gtest_brief=1 \
  || fail "core tests failed under Wine"


echo "== Jobs end to end against pupdate-sim"
start_sim_in_prefix
unset PUPDATE_PORT_MAP

run=$work/run
mkdir -p "$run"
# The sim signs its content with a key of its own: the jobs trust it from
# the "keys" folder beside the program, where a Windows installation keeps it.
sim_keys=$(sed -n 's/^PUPDATE_TRUSTED_KEYS=//p' "$work/sim.log")
[ -d "$sim_keys" ] || fail "pupdate-sim named no trusted key folder: $(cat "$work/sim.log")"
mkdir -p "$run/keys"
cp "$sim_keys"/*.pem "$run/keys/"
unset PUPDATE_TRUSTED_KEYS
# Runs the Windows program under a job name, as the machine's PC application does.
job() {
  local name=$1
  shift
  cp "$windows/src/PelluxUpdateV3.exe" "$run/$name.exe"
  local status=0
  (cd "$run" && PUPDATE_SERVER_URL=$sim_url timeout 900 "$wine" "./$name.exe" "$@" \
    </dev/null >"$work/$name.out" 2>&1) || status=$?
  # The result line; the job's log file may be named after it.
  if [ "$status" -ne 0 ] || ! grep -qx Complete <<<"$(tr -d '\r' <"$work/$name.out")"; then
    cat "$work/$name.out" >&2
    fail "$name ended with status $status, not Complete"
  fi
  grep -q '^Signature check success (publisher key ' <<<"$(tr -d '\r' <"$work/$name.out")" \
    || { cat "$work/$name.out" >&2; fail "$name did not check the publisher's signature"; }
  echo "$name: Complete"
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
status=$(ctrl_c_until_ended "$waiting") || fail "Ctrl+C did not end the job"
exec 7>&-
[ "$status" -ne 0 ] && grep -qx Error <<<"$(tr -d '\r' <"$work/ctrlc.out")" \
  || fail "after Ctrl+C: status $status, $(tr -d '\r' <"$work/ctrlc.out" | tail -n 3)"
echo "Ctrl+C: the job ended with Error"

. "$root/scripts/test-windows-dialogs.sh"
./scripts/test-windows-extend.sh  # the extend setting dialogs, driven under Xvfb
. "$root/scripts/test-windows-console.sh"

echo "Windows stage passed."
