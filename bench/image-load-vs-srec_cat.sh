#!/bin/sh
# Times srec_cat converting an 8 MB Intel HEX file to binary, then loads the
# same file with our reader (build/bench/ImageLoadBench), for comparison.
# Usage: bench/image-load-vs-srec_cat.sh [build dir]   (default: build)
set -eu
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

head -c 3584000 /dev/urandom >"$work/data.bin"
srec_cat "$work/data.bin" -binary -offset 0x08000000 -o "$work/data.hex" -intel -obs=32
echo "file: $(wc -c <"$work/data.hex") bytes of Intel HEX"

echo "srec_cat, HEX to binary:"
/usr/bin/time -f "  %e s elapsed, %M KB max resident" \
  srec_cat "$work/data.hex" -intel -o "$work/out.bin" -binary

cmake --build "$build" --target ImageLoadBench >/dev/null
echo "our reader:"
PUPDATE_BENCH_HEX="$work/data.hex" "$build/bench/ImageLoadBench" --benchmark_filter=BM_LoadHexFile
