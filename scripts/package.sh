#!/usr/bin/env bash
# Builds the release from clean build folders of its own and writes
# dist/Morsela-<version>-win64.zip and dist/Morsela-<version>-linux-x86_64.tar.gz
# (the command line, carrying the same restore program). Every date the
# tools need comes from the commit, so two runs on one commit give the same
# bytes.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/setup.sh"

SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 315532800)
export SOURCE_DATE_EPOCH
build=$root/build/release
rm -rf "$build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORSELA_TESTS=OFF \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" >/dev/null
cmake --build "$build"
(cd "$build" && cpack --config CPackConfig.cmake >/dev/null)
mkdir -p "$root/dist"
zip=$(ls "$build"/package/Morsela-*-win64.zip)
cp "$zip" "$root/dist/"
echo "package: dist/$(basename "$zip") ($(stat -c %s "$zip") bytes)"

# The command line for Linux, static, with the Windows build's restore program.
linux=$root/build/release-linux
rm -rf "$linux"
cmake -S "$root" -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORSELA_TESTS=OFF -DMORSELA_STATIC=ON \
  -DMORSELA_CARRIED_IMAGE="$build/restore/unsplit.exe" >/dev/null
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
