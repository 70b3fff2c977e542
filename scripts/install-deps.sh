#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and demo.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  qt6-base-dev libcurl4-openssl-dev zlib1g-dev libssl-dev openssl
  libcpp-httplib-dev libgtest-dev libgmock-dev libbenchmark-dev
  srecord binutils zip unzip python3 nginx-light
  clang libclang-rt-14-dev
  git dpkg-dev man-db desktop-file-utils
  locales fonts-dejavu-core
  wixl osslsigncode icoutils openssl
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
