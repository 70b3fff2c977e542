#!/usr/bin/env bash
# Builds the Windows installer from a folder that holds the files it installs
# (PelluxUpdateV3.exe, FlashLoader.exe, the device maps, README.txt):
#   packaging/windows/build-msi.sh FOLDER VERSION OUT.msi
# VERSION is the product version (major.minor[.build]); a newer one replaces
# an installed older one.
set -euo pipefail
if [ $# -ne 3 ]; then
  echo "usage: $0 FOLDER VERSION OUT.msi" >&2
  exit 2
fi
here=$(realpath "$(dirname "$0")")
wxs=$here/PelluxUpdate.wxs
folder=$(realpath "$1")
out=$(realpath -m "$3")
for file in $(sed -n 's/.* Source="\([^"]*\)".*/\1/p' "$wxs"); do
  [ -f "$folder/$file" ] || { echo "build-msi: $1 lacks $file" >&2; exit 1; }
done
# The installer must carry every device map the source tree has.
for map in "$folder"/*.map; do
  grep -qF "Source=\"${map##*/}\"" "$wxs" || { echo "build-msi: PelluxUpdate.wxs lacks ${map##*/}" >&2; exit 1; }
done
# wixl reads the files the source names relative to the current folder:
# the installed files and the program's icon, which is not installed.
build=$(mktemp -d)
trap 'rm -rf "$build"' EXIT
ln -s "$folder"/* "$build/"
ln -s "$here/../../resources/win32/PelluxUpdateV3.ico" "$build/PelluxUpdate.ico"
cd "$build"
wixl -a x64 -D Version="$2" -o "$out" "$wxs"
