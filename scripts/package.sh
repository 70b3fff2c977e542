#!/usr/bin/env bash
# Checks a Debian package: its dependencies and contents; installs it with
# dpkg, checks the installed programs, man pages and desktop entry, and
# removes the package again.
#   scripts/package.sh dist/pelluxupdate_3.0_amd64.deb   that package
#   scripts/package.sh                                   one built from build/
# (scripts/test-release.sh checks the release's package with it.)
set -euo pipefail
cd "$(dirname "$0")/.."

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

if [ $# -ge 1 ]; then
  deb=$1
else
  build=${BUILD_DIR:-build}
  if [ ! -f "$build/build.ninja" ]; then
    echo "package.sh: no build in $build/; run ./scripts/test.sh (or cmake) first" >&2
    exit 1
  fi
  cmake --build "$build" -j"$(nproc 2>/dev/null || echo 2)"
  rm -rf "$build/package"
  (cd "$build" && cpack -G DEB >/dev/null)
  deb=$(ls "$build"/package/pelluxupdate_*.deb)
fi
echo "package: $deb"

fail() {
  echo "package.sh: $*" >&2
  exit 1
}

# The dependencies are the runtime libraries the programs link.
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libcurl4 libssl3 zlib1g; do
  case "$depends" in *"$library"*) ;; *) fail "Depends lacks $library: $depends" ;; esac
done
contents=$(dpkg-deb -c "$deb")
# Here-strings, not pipes: grep -q stopping early must not fail the pipe.
for path in ./usr/bin/PelluxUpdateV3 ./usr/bin/FlashLoader ./usr/bin/pupdate-server \
  ./usr/bin/pupdate-sim ./usr/share/man/man1/PelluxUpdateV3.1.gz \
  ./usr/share/man/man1/FlashLoader.1.gz ./usr/share/man/man1/pupdate-server.1.gz \
  ./usr/share/man/man1/pupdate-sim.1.gz ./usr/share/applications/pelluxupdate.desktop \
  ./usr/share/icons/hicolor/scalable/apps/pelluxupdate.svg \
  ./usr/share/pelluxupdate/maps/STM32_High-density_256K.map \
  ./usr/share/pelluxupdate/maps/STM32F4_01_256K.map \
  ./usr/share/doc/pelluxupdate/examples/nginx.conf \
  ./usr/share/doc/pelluxupdate/examples/60-pelluxupdate-serial.rules; do
  grep -qF " $path" <<<"$contents" || fail "the package lacks $path"
done
# Nothing that runs with privileges of its own.
if grep -E '^-..[sS]|^-.....[sS]' <<<"$contents"; then fail "set-id files in the package"; fi

"${sudo_cmd[@]}" dpkg -i "$deb" >/dev/null
trap '"${sudo_cmd[@]}" dpkg -r pelluxupdate >/dev/null' EXIT

version=$(/usr/bin/PelluxUpdateV3 --version)
echo "installed: $version"
expected="PelluxUpdateV3 $(dpkg-deb -f "$deb" Version)"
case "$version" in "$expected" | "$expected (git "*) ;; *) fail "--version said '$version'" ;; esac
[[ $(/usr/bin/FlashLoader --help) == "PUpdate UART Flash Loader"* ]] || fail "FlashLoader --help"
# From a folder without maps the installed flash loader takes the package's
# (no port is open, so the activation after the map fails).
logs=$(mktemp -d)
activation=$(cd / && PUPDATE_LOG_DIR=$logs /usr/bin/FlashLoader -i STM32_High-density_256K \
  </dev/null 2>&1 || true)
rm -rf "$logs"
grep -q 'Activating device' <<<"$activation" || fail "FlashLoader did not find its map: $activation"
[[ $(/usr/bin/pupdate-server --version) == "pupdate-server "* ]] || fail "pupdate-server --version"
[[ $(/usr/bin/pupdate-sim --version) == "pupdate-sim "* ]] || fail "pupdate-sim --version"
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM /usr/bin/PelluxUpdateV3 2>/dev/null || status=$?
[ "$status" -eq 1 ] || fail "the dialog without a display ended with $status"
listed=$(dpkg -L pelluxupdate)
for page in PelluxUpdateV3 FlashLoader pupdate-server pupdate-sim; do
  installed=/usr/share/man/man1/$page.1.gz
  grep -qx "$installed" <<<"$listed" || fail "dpkg does not list $installed"
  # Minimal images may tell dpkg to leave man pages out (path-exclude).
  if [ -f "$installed" ]; then
    [ "$(man -w "$page")" = "$installed" ] || fail "man $page"
  fi
done
desktop-file-validate /usr/share/applications/pelluxupdate.desktop || fail "desktop entry"
echo "package: installed, checked and removed"
