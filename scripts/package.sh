#!/usr/bin/env bash
# Builds the release from clean build folders of its own and writes
# dist/Morsela-<version>-win64.zip and dist/Morsela-<version>-linux-x86_64.tar.gz
# (the command line, carrying the same restore program). Every date the
# tools need comes from the commit, so two runs on one commit give the same
# bytes.
#
# Signed when the environment names a PKCS#12 file with the publisher's
# certificate and key, MORSELA_SIGN_PFX, and its password,
# MORSELA_SIGN_PASSWORD: the restore program first, which Morsela.exe,
# Morsela.com and the Linux command line then carry signed, then Morsela.exe
# and Morsela.com (Authenticode with osslsigncode, SHA-256, no time stamp).
# MORSELA_CARRIED_RESTORE names a restore program to carry instead of the
# one built, unchanged: given the one a signed release carries, an unsigned
# build of its commit is that release without its signatures (README.md,
# "Checking a signed release").
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/setup.sh"

signing=
if [ -n "${MORSELA_SIGN_PFX:-}" ]; then
  [ -f "$MORSELA_SIGN_PFX" ] || { echo "package: no file $MORSELA_SIGN_PFX" >&2; exit 1; }
  [ -n "${MORSELA_SIGN_PASSWORD+set}" ] || { echo "package: MORSELA_SIGN_PASSWORD is not set" >&2; exit 1; }
  signing=1
fi
sign() { # FILE TITLE
  bash "$root/scripts/sign.sh" "$1" "$2"
  echo "package: signed $(basename "$1")"
}

SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 315532800)
export SOURCE_DATE_EPOCH
build=$root/build/release
rm -rf "$build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORSELA_TESTS=OFF \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" >/dev/null
carried=$build/restore/unsplit.exe
if [ -n "${MORSELA_CARRIED_RESTORE:-}" ]; then
  carried=$(realpath "$MORSELA_CARRIED_RESTORE")
  cmake -DMORSELA_CARRIED_IMAGE="$carried" "$build" >/dev/null
elif [ -n "$signing" ]; then
  # The restore program signed before Morsela.exe and Morsela.com take it in.
  cmake --build "$build" --target morsela_restore
  carried=$build/signed/unsplit.exe
  mkdir -p "$build/signed"
  cp "$build/restore/unsplit.exe" "$carried"
  sign "$carried" "Morsela restore program"
  cmake -DMORSELA_CARRIED_IMAGE="$carried" "$build" >/dev/null
fi
cmake --build "$build"
if [ -n "$signing" ]; then
  sign "$build/splitter/Morsela.exe" Morsela
  sign "$build/cli/Morsela.com" Morsela
fi
(cd "$build" && cpack --config CPackConfig.cmake >/dev/null)
mkdir -p "$root/dist"
zip=$(ls "$build"/package/Morsela-*-win64.zip)
cp "$zip" "$root/dist/"
echo "package: dist/$(basename "$zip") ($(stat -c %s "$zip") bytes)"

# The command line for Linux, static, with the Windows build's restore program
# (signed when the release is).
linux=$root/build/release-linux
rm -rf "$linux"
cmake -S "$root" -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORSELA_TESTS=OFF -DMORSELA_STATIC=ON \
  -DMORSELA_CARRIED_IMAGE="$carried" >/dev/null
cmake --build "$linux" --target morsela
version=$(basename "$zip" -win64.zip)
stage=$linux/stage/$version-linux-x86_64
mkdir -p "$stage"
cp "$linux/cli/morsela" "$root/LICENSE" "$stage/"
cp "$root/docs/README-linux.txt" "$stage/README.txt"
tarball=$root/dist/$version-linux-x86_64.tar.gz
tar --sort=name --mtime="@$SOURCE_DATE_EPOCH" --owner=0 --group=0 --numeric-owner \
  -C "$linux/stage" -cf - "$(basename "$stage")" | gzip -n -9 >"$tarball"
echo "package: dist/$(basename "$tarball") ($(stat -c %s "$tarball") bytes)"
sha256sum "$root/dist/$(basename "$zip")" "$tarball"
