#!/usr/bin/env bash
# Configures (once) and builds one of the two builds:
#   build.sh native   the portable core and its tests, with ASan and UBSan
#   build.sh windows  the Windows executables and tests (mingw-w64)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
kind=${1:?native or windows}
dir=$root/build/$kind
if [ ! -f "$dir/build.ninja" ]; then
  case $kind in
    native) cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORSELA_SANITIZE=ON ;;
    windows) cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
               -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" ;;
    *) echo "build.sh: unknown build $kind" >&2; exit 2 ;;
  esac
fi
cmake --build "$dir"
