#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each one over its seed corpus. Any
# crash, sanitizer report, broken property, leak or time-out fails the run;
# the input that caused it is kept in build-fuzz/findings/<target>/.
#
#   scripts/fuzz.sh                          every target for a short, fixed time (CI)
#   scripts/fuzz.sh --minutes 10             every target for 10 minutes
#   scripts/fuzz.sh --seconds 60 fuzz_device_map fuzz_image_files
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${PUPDATE_FUZZ_SECONDS:-15}
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --minutes) seconds=$(($2 * 60)); shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    -h|--help) sed -n '2,10p' "$0"; exit 0 ;;
    *) targets+=("$1"); shift ;;
  esac
done

jobs=$(nproc 2>/dev/null || echo 2)
build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPUPDATE_FUZZ=ON -DPUPDATE_BUILD_UI=OFF >/dev/null
cmake --build "$build" -j"$jobs" --target fuzz_targets

if [ ${#targets[@]} -eq 0 ]; then
  for source in fuzz/fuzz_*.cpp; do
    targets+=("$(basename "$source" .cpp)")
  done
fi

# One target run: new inputs go to build-fuzz/corpus/<target>, the committed
# seeds in fuzz/corpus/<target> are only read.
run_target() {
  local target=$1
  # Absolute paths: a target may change its working directory.
  local corpus="$PWD/$build/corpus/$target" findings="$PWD/$build/findings/$target"
  mkdir -p "$corpus" "$findings" "fuzz/corpus/$target"
  if "$build/fuzz/$target" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 \
      -max_len=65536 -print_final_stats=1 -artifact_prefix="$findings/" \
      "$corpus" "$PWD/fuzz/corpus/$target" >"$build/$target.log" 2>&1; then
    echo "$target: $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$build/$target.log" |
      grep -o '[0-9]*$') inputs in ${seconds}s, no finding"
  else
    echo "$target: FINDING (input kept in $findings/)"
    tail -n 40 "$build/$target.log"
    return 1
  fi
}

# Two targets at a time share the cores.
failed=0
running=0
for target in "${targets[@]}"; do
  run_target "$target" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
done
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
if [ "$failed" -ne 0 ]; then
  echo "Fuzzing found a problem: fix it, then add the kept input to fuzz/corpus/<target>/ as a seed."
  exit 1
fi
