#!/usr/bin/env bash
# Builds the release from a clean build folder of its own and writes
# dist/Morsela-<version>-win64.zip. Every date the tools need comes from the
# commit, so two runs on one commit give the same bytes.
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
sha256sum "$root/dist/$(basename "$zip")"
