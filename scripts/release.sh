#!/usr/bin/env bash
# Makes a release: builds the Linux programs and their Debian package, the
# Windows programs and their installer, and writes into dist/
#   pelluxupdate_<version>_amd64.deb      the Debian package
#   PelluxUpdate-<version>-x64.msi        the Windows installer
#   PelluxUpdate-<version>-windows-x64.zip  the Windows programs without installer
#   SHA256SUMS                            sha256sum -c SHA256SUMS checks them
# The version is the one of project() in CMakeLists.txt.
#
# Signing (Authenticode, SHA-256) of the .exe files and the installer:
#   PUPDATE_SIGN_CERT           code-signing certificate, PEM or DER (with its chain)
#   PUPDATE_SIGN_KEY            its private key
#   PUPDATE_SIGN_PASSWORD_FILE  a file holding the key's password, if it has one
#   PUPDATE_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamp server, if one is to vouch
#                               for the signing time
# Without certificate and key the release is built unsigned.
#
# Existing builds are used, not rebuilt: PUPDATE_LINUX_BUILD_DIR (default
# build) and PUPDATE_WINDOWS_BUILD_DIR (default build-windows).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

fail() {
  echo "release: $*" >&2
  exit 1
}

# wixl, osslsigncode and icoutils come with the project's packages.
./scripts/install-deps.sh

sign_cert=${PUPDATE_SIGN_CERT:-}
sign_key=${PUPDATE_SIGN_KEY:-}
if [ -n "$sign_cert" ] || [ -n "$sign_key" ]; then
  [ -f "$sign_cert" ] || fail "PUPDATE_SIGN_CERT names no file: '$sign_cert' (set both PUPDATE_SIGN_CERT and PUPDATE_SIGN_KEY, or neither)"
  [ -f "$sign_key" ] || fail "PUPDATE_SIGN_KEY names no file: '$sign_key' (set both PUPDATE_SIGN_CERT and PUPDATE_SIGN_KEY, or neither)"
fi

jobs=$(nproc 2>/dev/null || echo 2)
linux=$(realpath -m "${PUPDATE_LINUX_BUILD_DIR:-build}")
windows=$(realpath -m "${PUPDATE_WINDOWS_BUILD_DIR:-build-windows}")
dist=$root/dist

echo "== Linux programs and package ($linux)"
if [ ! -f "$linux/build.ninja" ]; then
  cmake -S . -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$linux" -j"$jobs"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$linux/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $linux/CMakeCache.txt"
rm -rf "$linux/package"
(cd "$linux" && cpack -G DEB >/dev/null)
deb=$linux/package/pelluxupdate_${version}_amd64.deb
[ -f "$deb" ] || fail "cpack made no $deb: $(ls "$linux/package")"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version is not $version"

echo "== Windows programs ($windows)"
PUPDATE_WINDOWS_BUILD_DIR=$windows ./scripts/build-windows.sh
windows_version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$windows/CMakeCache.txt")
[ "$windows_version" = "$version" ] || fail "the Windows build has version '$windows_version', the Linux build $version: rebuild both"

work=$(mktemp -d /tmp/pupdate-release-XXXXXX)
trap 'rm -rf "$work"' EXIT
# The portable folder, which is also what the installer installs.
portable=PelluxUpdate-$version
stage=$work/$portable
mkdir -p "$stage"
cp "$windows/src/PelluxUpdateV3.exe" "$windows/src/FlashLoader.exe" "$stage/"
cp resources/maps/*.map "$stage/"
sed 's/\r*$/\r/' README.md >"$stage/README.txt"

# The executables' version blocks, where they have one, carry the version
# too: the file and product versions of their fixed part.
for exe in PelluxUpdateV3.exe FlashLoader.exe; do
  blocks=$(wrestool -x --raw -t 16 "$stage/$exe" 2>/dev/null | python3 -c '
import struct, sys
data = sys.stdin.buffer.read()
at = data.find(struct.pack("<I", 0xFEEF04BD))
if at >= 0:
    for ms, ls in (struct.unpack_from("<II", data, at + 8), struct.unpack_from("<II", data, at + 16)):
        print("%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF))
')
  if [ -z "$blocks" ]; then
    echo "$exe has no version block (only --version carries the version)"
  fi
  for block in $blocks; do
    # The block has four numbers; the version's own come first.
    case "$block." in "$version".*) ;; *) fail "$exe's version block says $block, not $version" ;; esac
  done
done

# Authenticode signature, SHA-256, of one file in place.
sign() {
  local file=$1 args
  args=(sign -certs "$sign_cert" -key "$sign_key" -h sha256 -n "PelluxUpdate $version")
  [ -z "${PUPDATE_SIGN_PASSWORD_FILE:-}" ] || args+=(-readpass "$PUPDATE_SIGN_PASSWORD_FILE")
  [ -z "${PUPDATE_SIGN_TIMESTAMP_URL:-}" ] || args+=(-ts "$PUPDATE_SIGN_TIMESTAMP_URL")
  osslsigncode "${args[@]}" -in "$file" -out "$file.signed" >"$work/sign.log" 2>&1 \
    || fail "signing ${file##*/} failed: $(tail -n 3 "$work/sign.log")"
  mv "$file.signed" "$file"
}
if [ -n "$sign_cert" ]; then
  for exe in PelluxUpdateV3.exe FlashLoader.exe; do sign "$stage/$exe"; done
fi

echo "== Installer and portable zip"
msi=$work/PelluxUpdate-$version-x64.msi
packaging/windows/build-msi.sh "$stage" "$version" "$msi"
[ -z "$sign_cert" ] || sign "$msi"
zip=$work/PelluxUpdate-$version-windows-x64.zip
(cd "$work" && zip -q -r -X "$zip" "$portable")

rm -rf "$dist"
mkdir -p "$dist"
cp "$deb" "$msi" "$zip" "$dist/"
(cd "$dist" && sha256sum -- *.deb *.msi *.zip >SHA256SUMS)
if [ -n "$sign_cert" ]; then
  echo "Signed the .exe files and the installer with ${sign_cert##*/}."
else
  echo "Unsigned release: set PUPDATE_SIGN_CERT and PUPDATE_SIGN_KEY to sign it."
fi
echo "Release $version in dist/: $(cd "$dist" && ls | tr '\n' ' ')"
