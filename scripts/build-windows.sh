#!/usr/bin/env bash
# Cross-builds the Windows programs (PelluxUpdateV3.exe in console job mode,
# FlashLoader.exe) and the core tests with MinGW-w64, statically linked, into
# build-windows/. Installs the Debian packages it needs. Then checks that the
# programs are 64-bit Windows executables that need no DLL beyond Windows' own.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake ninja-build file g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest)
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

build=${PUPDATE_WINDOWS_BUILD_DIR:-build-windows}
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
cmake --build "$build" -j"$jobs"

# The DLLs that every Windows PC has.
system_dlls='^(kernel32|user32|gdi32|comctl32|comdlg32|advapi32|wininet|bcrypt|msvcrt|ws2_32|shell32|ole32|api-ms-win-.*)\.dll$'
status=0
for program in "$build"/src/*.exe "$build"/tests/windows/*.exe; do
  [ -e "$program" ] || continue
  if ! file -b "$program" | grep -q '^PE32+ executable'; then
    echo "$program is not a 64-bit Windows executable: $(file -b "$program")" >&2
    status=1
  fi
  while read -r dll; do
    if ! echo "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$system_dlls"; then
      echo "$program needs $dll, which Windows does not have: link it statically." >&2
      status=1
    fi
  done < <(x86_64-w64-mingw32-objdump -p "$program" | sed -n 's/^\s*DLL Name: //p')
done
[ "$status" -eq 0 ] && echo "Windows programs in $build/src: $(cd "$build/src" && ls *.exe 2>/dev/null | tr '\n' ' ')"
exit "$status"
