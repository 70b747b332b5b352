#!/usr/bin/env bash
# Compiles the restore core and the page's side of it to WebAssembly:
#   build_wasm.sh OUTPUT.wasm WORKDIR
# clang for wasm32-wasi (Debian: clang, lld, wasi-libc, libc++-dev-wasm32,
# libclang-rt-dev-wasm32), small code, no exceptions, no threads.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${1:?output .wasm}
work=${2:?work folder}
mkdir -p "$work"
sources=(
  common/text/text.cpp common/text/utf8.cpp common/text/wildcard.cpp common/text/case_fold.cpp
  common/text/case_fold_posix.cpp common/text/messages.cpp
  common/platform/platform.cpp common/platform/platform_page.cpp
  common/format/pieces.cpp common/format/stored_name.cpp common/format/crc32c.cpp common/format/manifest.cpp
  common/format/erasure_code.cpp common/format/recovery_piece.cpp
  common/pipeline/ring.cpp common/pipeline/background_step.cpp
  common/restore/descriptions.cpp common/restore/piece_set.cpp common/restore/join.cpp common/restore/rebuild.cpp common/restore/output.cpp
  common/restore/restore.cpp
  page/json_text.cpp page/restore_page.cpp page/page_main.cpp
)
flags=(--target=wasm32-wasi -std=c++17 -Os -fno-exceptions -fno-rtti -ffunction-sections -fdata-sections
       -DNDEBUG -I"$root/common" -I"$root/page")
objects=()
for s in "${sources[@]}"; do
  o=$work/$(echo "$s" | tr / _).o
  if [ ! -f "$o" ] || [ "$root/$s" -nt "$o" ] || [ -n "$(find "$root/common" "$root/page" -name '*.h' -newer "$o" -print -quit)" ]; then
    # The kernels every byte passes through are built for speed.
    case $s in
      */crc32c.cpp | */erasure_code.cpp) speed=(-O3) ;;
      *) speed=() ;;
    esac
    clang++ "${flags[@]}" "${speed[@]}" -c "$root/$s" -o "$o"
  fi
  objects+=("$o")
done
# A reactor: no main; the worker calls the exported functions. The native
# build's platform (POSIX) stays out: the page's platform is the only one.
clang++ --target=wasm32-wasi -mexec-model=reactor -Os -fno-exceptions -Wl,--gc-sections -Wl,--strip-all \
  -Wl,-z,stack-size=1048576 -Wl,--initial-memory=67108864 -Wl,--max-memory=4294967296 \
  "${objects[@]}" -o "$out"
