#!/usr/bin/env bash
# The release package as a Windows user gets it: made by CPack from this
# build, unpacked, its files checked (names, size, imports, the README's
# line ends, Morsela.exe's version and title), then the unpacked
# Morsela.exe started under Wine, once with a
# path with spaces on its command line (as Explorer passes a file dropped
# onto its icon), whose split must then write that file's pieces, and once
# with a path that names nothing.
#   package_test.sh BUILD_DIR
# Needs DISPLAY and MORSELA_WINEPREFIX (see gui/with_display.sh).
set -u
build=$1
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=$(mktemp -d /tmp/morsela-package.XXXXXX)
fail() { echo "package_test: $*" >&2; exit 1; }
source "$root/tests/gui/xdo.sh"
winpath() { echo "Z:${1//\//\\}"; }

(cd "$build" && cpack --config CPackConfig.cmake -B "$work/cpack" >/dev/null) || fail "cpack failed"
zip=$(ls "$work"/cpack/Morsela-*-win64.zip 2>/dev/null | head -n1)
[ -n "$zip" ] || fail "no Morsela-<version>-win64.zip"
mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$zip") || fail "the zip does not unpack"
files=$(cd "$work/unpacked" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ')
[ "$files" = "LICENSE Morsela.com Morsela.exe README.txt restore.html " ] || fail "files in the zip: $files"

exe=$work/unpacked/Morsela.exe
size=$(stat -c %s "$exe")
# It carries the restore program, the restore page, and the restore and the
# recovery code.
[ "$size" -le $((1024 * 1024)) ] || fail "Morsela.exe is $size bytes, more than 1 MiB"
x86_64-w64-mingw32-objdump -h "$exe" | grep -q '\.debug' && fail "Morsela.exe carries debug information"
system_dlls=" ADVAPI32.dll COMCTL32.dll comdlg32.dll GDI32.dll KERNEL32.dll msvcrt.dll ole32.dll OLEAUT32.dll SHELL32.dll USER32.dll "
for dll in $(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print $3}'); do
  case $system_dlls in *" $dll "*) ;; *) fail "Morsela.exe needs $dll" ;; esac
done
# The generic restore page: no set inside, the package's version stated.
page=$work/unpacked/restore.html
grep -q '<script type="application/x-morsela-set" id="morsela-set">MORSELA-SET</script>' "$page" ||
  fail "restore.html carries a set"
grep -q "version $(basename "$zip" | sed -E 's/^Morsela-(.*)-win64\.zip$/\1/')<" "$page" ||
  fail "restore.html does not state the package's version"
grep -q $'\r$' "$work/unpacked/README.txt" || fail "README.txt is not CRLF text"
[ "$(grep -c $'[^\r]$' "$work/unpacked/README.txt")" = 0 ] || fail "README.txt mixes line ends"
grep -q "MIT License" "$work/unpacked/LICENSE" && grep -q "Quellin Studio" "$work/unpacked/LICENSE" ||
  fail "LICENSE is not the MIT licence of Quellin Studio"
# The version the zip is named with, in the version resource as text and as
# four numbers; the title and the comments name no web address.
version=$(basename "$zip" | sed -E 's/^Morsela-(.*)-win64\.zip$/\1/')
numbers=$(echo "$version.0.0.0" | cut -d. -f1-4 | sed 's/\./, /g')
resources=$(x86_64-w64-mingw32-windres -i "$exe" -O rc 2>/dev/null) || fail "cannot read the resources of Morsela.exe"
info=$(sed -n '/VERSIONINFO/,/^END/p' <<<"$resources")
for line in "FILEVERSION $numbers" "PRODUCTVERSION $numbers" "VALUE \"FileVersion\", \"$version\"" \
  "VALUE \"ProductVersion\", \"$version\"" 'VALUE "Comments", "Other games and softwares by Quellin Studio"'; do
  grep -qF "$line" <<<"$info" || fail "no '$line' in the version resource: $info"
done
grep -qiE 'https?:|www\.' <<<"$info" && fail "a web address in the version resource"
grep -qx 'CAPTION "Morsela by Quellin Studio"' <<<"$resources" || fail "the title is not 'Morsela by Quellin Studio'"
echo "package: $(basename "$zip"), Morsela.exe $size bytes, version $version, needs only the system's DLLs"

start() { # PATH: Morsela.exe started with PATH, as Explorer would pass it
  "$root/scripts/wine-run.sh" "$exe" "$1" >/dev/null 2>&1 </dev/null &
  app=$!
  main=$(find_window '^Morsela by Quellin Studio$')
  [ -n "$main" ] || fail "the window did not appear"
}

# A path with spaces: the window opens with it chosen, so that four Tabs
# (size field, sizes for limits, recovery pieces, split button) and space
# split it.
mkdir "$work/My Files"
head -c 250000 /dev/urandom > "$work/My Files/Holiday Film.AVI"
start "$(winpath "$work/My Files/Holiday Film.AVI")"
focus "$main"
xdotool key Tab Tab Tab Tab space
for _ in $(seq 100); do [ -f "$work/My Files/holiday film.exe" ] && break; sleep 0.1; done
[ -f "$work/My Files/holiday film#.2" ] || fail "the path from the command line was not chosen: $(ls "$work/My Files")"
end_with_escape "$main"

# A path that names nothing: the split command says so, as after a drop.
start "$(winpath "$work/nothing here.bin")"
split_expecting_box "$main" "no message for a path that names nothing"
end_with_escape "$main"
[ "$(ls "$work" | LC_ALL=C sort | tr '\n' ' ')" = "My Files cpack unpacked " ] || fail "stray files: $(ls "$work")"
echo "package_test: the unpacked Morsela.exe takes a path from its command line"

# Signed as the release signs them (scripts/sign.sh), with a throwaway
# authority: the signatures verify against it.
mkdir "$work/signing"
bash "$root/tests/support/throwaway_signer.sh" "$work/signing/keys" || fail "openssl could not make an authority"
for f in Morsela.exe Morsela.com; do
  cp "$work/unpacked/$f" "$work/signing/$f"
  MORSELA_SIGN_PFX=$work/signing/keys/signer.pfx MORSELA_SIGN_PASSWORD=throwaway \
    bash "$root/scripts/sign.sh" "$work/signing/$f" Morsela || fail "scripts/sign.sh could not sign $f"
  osslsigncode verify -CAfile "$work/signing/keys/ca.pem" -in "$work/signing/$f" >/dev/null 2>&1 ||
    fail "the signature of $f does not verify"
done
echo "package_test: Morsela.exe and Morsela.com signed as the release signs them"
