#!/usr/bin/env bash
# Runs the main job: a whole online firmware update of the virtual machine
# from the local update server.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c 4096 /dev/urandom >"$work/fpga.bin"
ln -s "$PWD/build/src/PelluxUpdateV3" "$work/PUpdate-APB-FPGA-COM1"
cd "$work"
./PUpdate-APB-FPGA-COM1 "$work/fpga.bin" local
