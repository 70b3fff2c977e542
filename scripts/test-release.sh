#!/usr/bin/env bash
# The release stage: makes the release (scripts/release.sh) signed with a
# throwaway certificate, checks its checksums and signatures, installs the
# Debian package (scripts/package.sh), and does with the Windows installer
# under Wine what a user or an administrator does: installs it silently,
# runs the flash loader and a job from the install folder against the
# virtual machine, installs a newer version over it and removes it.
# Uses the builds in PUPDATE_LINUX_BUILD_DIR (build) and
# PUPDATE_WINDOWS_BUILD_DIR (build-windows) as they are.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [ "${PUPDATE_SKIP_WINDOWS:-0}" = 1 ]; then
  # The Linux half alone, as the package test always was.
  ./scripts/package.sh
  echo "Release stage: Windows half skipped (PUPDATE_SKIP_WINDOWS=1)."
  exit 0
fi

fail() {
  echo "test-release: $*" >&2
  exit 1
}

wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
work=$(mktemp -d /tmp/pupdate-release-test-XXXXXX)
children=()
cleanup() {
  for pid in "${children[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${children[@]}"; do wait "$pid" 2>/dev/null || true; done
  [ ! -d "$work/prefix" ] || WINEPREFIX=$work/prefix "$wineserver" -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "== Release, signed with a throwaway certificate"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=PelluxUpdate test signing" \
  -addext keyUsage=digitalSignature -addext extendedKeyUsage=codeSigning \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
PUPDATE_SIGN_CERT=$work/cert.pem PUPDATE_SIGN_KEY=$work/key.pem ./scripts/release.sh \
  >"$work/release.log" 2>&1 || { cat "$work/release.log" >&2; fail "release.sh failed"; }
grep -E '^(Signed|Unsigned|Release)|version block' "$work/release.log"
linux=$(realpath -m "${PUPDATE_LINUX_BUILD_DIR:-build}")
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$linux/CMakeCache.txt")
deb=dist/pelluxupdate_${version}_amd64.deb
msi=dist/PelluxUpdate-$version-x64.msi
zip=dist/PelluxUpdate-$version-windows-x64.zip
[ "$(ls dist | sort | tr '\n' ' ')" = "PelluxUpdate-$version-windows-x64.zip PelluxUpdate-$version-x64.msi SHA256SUMS pelluxupdate_${version}_amd64.deb " ] \
  || fail "dist/ holds $(ls dist | tr '\n' ' ')"
(cd dist && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match dist/"
[ "$(awk '{print $2}' dist/SHA256SUMS | sort | tr '\n' ' ')" = "$(cd dist && ls *.deb *.msi *.zip | sort | tr '\n' ' ')" ] \
  || fail "SHA256SUMS does not list every artifact: $(cat dist/SHA256SUMS)"

portable=$work/portable
unzip -q "$zip" -d "$portable"
folder=$portable/PelluxUpdate-$version
expected_files=$( (cd resources/maps && ls *.map; echo FlashLoader.exe; echo PelluxUpdateV3.exe; echo README.txt) | sort)
[ "$(ls "$folder" | sort)" = "$expected_files" ] || fail "the zip holds $(ls "$folder" | tr '\n' ' ')"
for signed in "$msi" "$folder/PelluxUpdateV3.exe" "$folder/FlashLoader.exe"; do
  osslsigncode verify -CAfile "$work/cert.pem" -in "$signed" >"$work/verify.log" 2>&1 \
    || { cat "$work/verify.log" >&2; fail "the signature of ${signed##*/} does not verify"; }
done
echo "checksums and signatures: OK"

echo "== Debian package"
./scripts/package.sh "$deb"

echo "== Windows installer under Wine"
[ -x "$wine" ] || fail "no Wine: scripts/test-windows.sh installs it (wine64)"
. scripts/wine-stage.sh
make_wine_prefix
# What Windows knows of the installed products named PelluxUpdate: one line
# of DisplayVersion per product.
installed_products() {
  "$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null \
    | tr -d '\r' | awk '
      /^HKEY/ { if (name == "PelluxUpdate") print shown; name = ""; shown = "" }
      $1 == "DisplayName" { name = $3 }
      $1 == "DisplayVersion" { shown = $3 }
      END { if (name == "PelluxUpdate") print shown }'
}
msiexec() {
  timeout 300 "$wine" msiexec "$@" /qn >"$work/msiexec.log" 2>&1 \
    || { cat "$work/msiexec.log" >&2; fail "msiexec $1 failed"; }
}

msiexec /i "$(winpath "$root/$msi")"
install_dir="$WINEPREFIX/drive_c/Program Files/PelluxUpdate"
# The release's files and the empty folder of the trusted publisher keys.
installed_files=$( (echo "$expected_files"; echo keys) | sort)
[ "$(ls "$install_dir" | sort)" = "$installed_files" ] \
  || fail "the install folder holds $(ls "$install_dir" | tr '\n' ' ')"
[ -d "$install_dir/keys" ] && [ -z "$(ls -A "$install_dir/keys")" ] || fail "no empty keys folder"
for file in $expected_files; do
  cmp -s "$folder/$file" "$install_dir/$file" || fail "the installed $file differs from the release's"
done
[ "$(installed_products)" = "$version" ] || fail "installed products: $(installed_products)"
# Windows keeps the icon of the list of installed programs in its own folder.
[ -n "$(find "$WINEPREFIX/drive_c/windows/Installer" -name PelluxUpdate.ico)" ] \
  || fail "no icon for the list of installed programs"
# The shortcut: the per-machine Start menu, or the user's where Wine puts it.
shortcut=$(find "$WINEPREFIX/drive_c/ProgramData" "$WINEPREFIX/drive_c/users" \
  -path '*/Start Menu/Programs/PelluxUpdate.lnk' 2>/dev/null | head -n 1)
[ -n "$shortcut" ] || fail "no PelluxUpdate.lnk in the Start menu"
link_texts=$(strings -e l "$shortcut"; strings "$shortcut")
grep -qF 'C:\Program Files\PelluxUpdate\PelluxUpdateV3.exe' <<<"$link_texts" \
  || fail "the shortcut does not start the installed program: $link_texts"
grep -qF '%LOCALAPPDATA%\PelluxUpdate' <<<"$link_texts" \
  || fail "the shortcut's working folder is not the user's own: $link_texts"
program='C:\Program Files\PelluxUpdate\PelluxUpdateV3.exe'
shown=$("$wine" "$program" --version </dev/null 2>&1 | tr -d '\r')
case "$shown" in "PelluxUpdateV3 $version" | "PelluxUpdateV3 $version (git "*) ;; *) fail "installed --version: $shown" ;; esac
echo "installed: $shown, shortcut $(basename "$shortcut")"

echo "== The installed programs against pupdate-sim"
start_sim_in_prefix

# The dialog, started in the install folder as from a shortcut whose
# working folder does not exist yet, makes the user's own and works there.
user_folder=$(find "$WINEPREFIX/drive_c/users" -maxdepth 3 -path '*/AppData/Local' | head -n 1)/PelluxUpdate
[ ! -e "$user_folder" ] || fail "$user_folder exists before the first start"
(cd "$install_dir" && env -u DISPLAY -u WAYLAND_DISPLAY timeout 120 "$wine" "$program" \
  </dev/null >"$work/dialog.out" 2>&1) || true
[ -d "$user_folder" ] || fail "the dialog did not make its work folder $user_folder: $(cat "$work/dialog.out")"
# Without a display no message box can wait for a click at the end of the job.
(cd "$user_folder" && PUPDATE_SERVER_URL=$sim_url env -u DISPLAY -u WAYLAND_DISPLAY \
  timeout 600 "$wine" "$program" \
  --job PUpdate-NR2-Firmware-COM3 </dev/null >"$work/job.out" 2>&1) \
  || { cat "$work/job.out" >&2; fail "the installed program's firmware job failed"; }
grep -qx Complete <<<"$(tr -d '\r' <"$work/job.out")" || { cat "$work/job.out" >&2; fail "the job did not say Complete"; }
flash_report | grep -q 'flash matches' || fail "after the job: $(flash_report)"
ls "$user_folder/logs/"*.log >/dev/null 2>&1 || fail "the job left no log in $user_folder/logs"
echo "firmware job from the install folder: Complete"

boot_switch
mkdir -p "$work/empty"
(cd "$work/empty" && timeout 600 "$wine" 'C:\Program Files\PelluxUpdate\FlashLoader.exe' \
  -c --pn 3 --br 57600 --to 3000 -i STM32_High-density_256K -r --a 8000000 </dev/null \
  >"$work/FlashLoader.out" 2>&1) || { cat "$work/FlashLoader.out" >&2; fail "FlashLoader.exe failed"; }
grep -q 'Your code is running' <<<"$(tr -d '\r' <"$work/FlashLoader.out")" \
  || { cat "$work/FlashLoader.out" >&2; fail "FlashLoader.exe did not start the program"; }
echo "FlashLoader.exe in an empty folder: found its map, the code is running"

echo "== Upgrade and removal"
logs=$(ls "$user_folder/logs/"*.log | wc -l)
newer=${version%.*}.$((${version##*.} + 1))
packaging/windows/build-msi.sh "$folder" "$newer" "$work/PelluxUpdate-$newer-x64.msi" 2>/dev/null
msiexec /i "$(winpath "$work/PelluxUpdate-$newer-x64.msi")"
[ "$(installed_products)" = "$newer" ] \
  || fail "after installing $newer over $version the products are: $(installed_products | tr '\n' ' ')"
[ "$(ls "$install_dir" | sort)" = "$installed_files" ] || fail "after the upgrade the install folder holds $(ls "$install_dir" | tr '\n' ' ')"
# The older installer over the newer product is refused and changes nothing.
if timeout 300 "$wine" msiexec /i "$(winpath "$root/$msi")" /qn >"$work/msiexec.log" 2>&1; then
  fail "the $version installer went over $newer"
fi
[ "$(installed_products)" = "$newer" ] || fail "after the refused downgrade the products are: $(installed_products | tr '\n' ' ')"
echo "upgrade: $version replaced by $newer, which $version does not replace"

msiexec /x "$(winpath "$work/PelluxUpdate-$newer-x64.msi")"
[ ! -e "$install_dir" ] || fail "after removal the install folder holds $(ls -A "$install_dir" | tr '\n' ' ')"
[ ! -e "$shortcut" ] || fail "after removal the shortcut remains"
[ -z "$(find "$WINEPREFIX/drive_c/windows/Installer" -name PelluxUpdate.ico)" ] \
  || fail "after removal the installed programs' icon remains"
[ -z "$(installed_products)" ] || fail "after removal Windows still lists PelluxUpdate $(installed_products)"
! "$wine" reg query 'HKLM\Software\PelluxUpdate' >/dev/null 2>&1 || fail "after removal HKLM\\Software\\PelluxUpdate remains"
[ "$(ls "$user_folder/logs/"*.log 2>/dev/null | wc -l)" -eq "$logs" ] || fail "the removal took the user's logs"
echo "removal: nothing installed remains, the user's logs are kept"
echo "Release stage passed."
