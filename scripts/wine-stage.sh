# Sourced by the stages that run the Windows programs under Wine
# (test-windows.sh, test-release.sh): a Wine prefix of the stage's own, and
# the virtual machine with its ports linked into it. The stage sets $wine,
# $wineserver, $work (its temporary folder), $linux (the Linux build), the
# array children (processes to end on exit) and fail().

# Z:\ is the Linux root in every Wine prefix.
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# Makes the prefix $work/prefix and exports WINEPREFIX.
make_wine_prefix() {
  export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
  # A server of its own, so that no program's output or Ctrl+C reaches it.
  mkdir -p "$WINEPREFIX"
  setsid "$wineserver" -p </dev/null >/dev/null 2>&1
  timeout 600 "$wine" wineboot -i >/dev/null 2>&1 || fail "wineboot could not make the prefix"
}

# Starts `pupdate-sim --server` (its files in $work/content, its lines in
# $work/sim.log), links its ports as the prefix's COM ports, and sets sim
# (its process) and sim_url (its update server).
start_sim_in_prefix() {
  "$linux/sim/pupdate-sim" --server --port-map-file "$work/portmap" --content "$work/content" \
    >"$work/sim.log" 2>&1 &
  sim=$!
  children+=($sim)
  for _ in $(seq 150); do
    [ -s "$work/portmap" ] && grep -q '^PUPDATE_SERVER_URL=' "$work/sim.log" && break
    sleep 0.2
  done
  [ -s "$work/portmap" ] || fail "pupdate-sim did not start: $(cat "$work/sim.log")"
  local entries entry
  IFS=, read -ra entries <"$work/portmap"
  for entry in "${entries[@]}"; do
    ln -sfn "${entry#*=}" "$WINEPREFIX/dosdevices/$(tr 'A-Z' 'a-z' <<<"${entry%%=*}")"
  done
  sim_url=$(sed -n 's/^PUPDATE_SERVER_URL=//p' "$work/sim.log")
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

# Lists the twins' ports under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, where Wine
# itself lists only COM1 (the key is volatile: again after a server start).
list_sim_ports() {
  local entries entry
  IFS=, read -ra entries <"$work/portmap"
  [ ${#entries[@]} -gt 0 ] || fail "the twins have no ports"
  for entry in "${entries[@]}"; do
    "$wine" reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v "\\Device\\PelluxSim${entry%%=*}" \
      /t REG_SZ /d "${entry%%=*}" /f >/dev/null 2>&1 || fail "cannot list ${entry%%=*} under SERIALCOMM"
  done
}

# Presses Ctrl+C at Wine process `pid` until it ends (Wine turns SIGINT into
# the console's Ctrl+C event; one that arrives while Wine itself is busy can
# be lost, so it is pressed again as a user would), then prints its status.
ctrl_c_until_ended() {
  local pid=$1 status=0
  for _ in $(seq 30); do
    kill -INT "$pid" 2>/dev/null || break
    timeout 2 tail --pid="$pid" -f /dev/null && break
  done
  timeout 60 tail --pid="$pid" -f /dev/null || return 1
  wait "$pid" || status=$?
  echo "$status"
}
