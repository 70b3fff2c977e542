#!/usr/bin/env bash
# Runs the main job: a whole online firmware update of the virtual machine
# from the local update server.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" >/dev/null

root=$PWD
sim="$root/build/sim/pupdate-sim"
program="$root/build/src/PelluxUpdateV3"
job=PUpdate-NR2-Firmware-COM3

work=$(mktemp -d)
sim_pid=""
drain_pid=""

stop_sim() {
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  sim_pid=""
  if [ -n "$drain_pid" ]; then
    wait "$drain_pid" 2>/dev/null || true
    drain_pid=""
  fi
}

cleanup() {
  local status=$?
  stop_sim
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'echo "demo: interrupted" >&2; exit 130' INT TERM

fail() {
  echo "demo: FAILED: $*" >&2
  exit 1
}

for built in "$sim" "$program"; do
  [ -x "$built" ] || fail "$built was not built"
done

# The virtual machine (control board with its STM32 bootloader, servo and
# step drive) and the update server over sample content, both in the
# background. Its output comes through a FIFO so that we can wait for the
# line saying it is ready instead of guessing a time.
echo "== Starting the virtual machine and the update server (pupdate-sim --server)"
mkfifo "$work/sim.out"
"$sim" --server --port-map-file "$work/port-map" --content "$work/content" \
  >"$work/sim.out" 2>&1 &
sim_pid=$!
exec 3<"$work/sim.out"
url=""
trusted_keys=""
ready=""
while IFS= read -r -t 60 line <&3; do
  printf '%s\n' "$line" >>"$work/sim.log"
  case $line in
    PUPDATE_SERVER_URL=*) url=${line#PUPDATE_SERVER_URL=} ;;
    PUPDATE_TRUSTED_KEYS=*) trusted_keys=${line#PUPDATE_TRUSTED_KEYS=} ;;
    "Press Ctrl+C to stop.")
      ready=1
      break
      ;;
  esac
done
if [ -z "$ready" ]; then
  cat "$work/sim.log" >&2 || true
  fail "pupdate-sim did not start (its output is above)"
fi
# Keep reading its log while the job runs.
cat <&3 >>"$work/sim.log" &
drain_pid=$!
exec 3<&-
[ -n "$url" ] || fail "pupdate-sim printed no PUPDATE_SERVER_URL"
[ -n "$trusted_keys" ] || fail "pupdate-sim printed no PUPDATE_TRUSTED_KEYS"
[ -s "$work/port-map" ] || fail "pupdate-sim wrote no port map"
port_map=$(cat "$work/port-map")
grep -v '^Send SIGUSR1\|^Press Ctrl+C' "$work/sim.log" || true

# The update as a person runs it: a link named after the job, in a folder of
# its own, output straight to this terminal. The sim signed its content with
# a key of its own; the job trusts only that key.
echo
echo "== Running $job (online firmware update of the New R2 Bender)"
mkdir "$work/job"
ln -s "$program" "$work/job/$job"
set +e
(
  cd "$work/job"
  PUPDATE_PORT_MAP="$port_map" PUPDATE_SERVER_URL="$url" PUPDATE_TRUSTED_KEYS="$trusted_keys" \
    "./$job" </dev/null
)
status=$?
set -e

echo
echo "== What the virtual machine saw"
stop_sim
sed -n '/^Press Ctrl+C to stop\.$/,$p' "$work/sim.log" | tail -n +2 |
  grep -v 'update server: ' || true

leftovers=$(find "$work/job" -mindepth 1 ! -name "$job" -printf '%f ')
[ "$status" -eq 0 ] || fail "the firmware job ended with Error (exit status $status)"
verdict=$(grep -E '^\[ *[0-9.]+\] flash (matches|does NOT match|unknown)' "$work/sim.log" |
  tail -n 1 | sed 's/^\[[^]]*\] //')
case $verdict in
  "flash matches "*) ;;
  "") fail "pupdate-sim gave no verdict on the board's flash" ;;
  *) fail "the board's flash does not hold the server's image: $verdict" ;;
esac
[ -z "$leftovers" ] || fail "the job left files in its folder: $leftovers"

# With the sim's key trusted, a job completes only when the signature it
# fetched verifies.
grep -q "GET /filesig.php?FilePath=NR2/FIRMWARE/[^ ]* HTTP/1.1\" 200 " "$work/sim.log" ||
  fail "the job did not fetch the firmware's signature"

echo
echo "== Result"
echo "The virtual board's $verdict (the server's default firmware image)."
echo "Its signature verified with the sim's publisher key (the only trusted key)."
echo "Complete"
