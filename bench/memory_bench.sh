#!/usr/bin/env bash
# Peak memory of the split engine and of the restore (release builds of the
# native drivers, /usr/bin/time -v) against the number of pieces: 100 MB
# into 10,000 pieces of 10 KB, then 4 GiB into 429,497 pieces of 10 KB. The
# manifest holds 4 bytes a piece; beyond that the figures should not grow.
#   bench/memory_bench.sh   (needs about 9 GiB free in /tmp; a few minutes)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build/bench
bash "$root/scripts/setup.sh"
[ -f "$build/build.ninja" ] || cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target split_driver restore_driver >/dev/null
split=$build/tools/split_driver restore=$build/tools/restore_driver

work=$(mktemp -d /tmp/morsela-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
# The restore program's image stands in for the real one: only its
# manifest is read natively.
peak() { /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident/ {print $2}'; }
# measure LABEL BYTES: split a source of BYTES (random in the first MB, a
# hole after it) into 10 KB pieces, restore it, compare, clean up.
measure() {
  local label=$1 bytes=$2 dir=$work/$1
  mkdir -p "$dir"
  head -c 1000000 /dev/urandom > "$dir/src.bin"
  truncate -s "$bytes" "$dir/src.bin"
  local sum pieces sp rp
  sum=$(cksum < "$dir/src.bin")
  sp=$(peak "$split" "$dir/src.bin" 10)
  pieces=$(find "$dir" -name 'src#.*' | wc -l)
  mv "$dir/src.bin" "$dir/original.bin"
  rp=$(peak "$restore" "$dir/src.exe")
  [ "$(cksum < "$dir/src.bin")" = "$sum" ] || { echo "$label: the restored file differs" >&2; exit 1; }
  printf '  %-8s %7d pieces   split %6d KiB   restore %6d KiB\n' "$label" "$pieces" "$sp" "$rp"
  rm -rf "$dir"
}
printf 'peak memory against the number of pieces (bar: < 16 MiB; flat beyond 4 bytes a piece)\n'
measure 100MB 100000000
measure 4GiB $((4 << 30))
