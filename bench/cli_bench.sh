#!/usr/bin/env bash
# The command line's split against GNU split and 7-Zip's volumes in store
# mode, natively, in one run: a 1 GiB file cut into 1,000 KB pieces by
# `morsela split` (the whole process: reading, CRCs, pieces, the restore
# program and the manifest; a build carrying a stand-in restore program),
# by `split -b 1000000` and by `7zz a -mx=0 -v1000000b`; each round in a
# fresh random order, the source read once before each run and the earlier
# pieces gone and written back.
#   bench/cli_bench.sh [RUNS]   (default 5; needs about 4 GiB free in /tmp)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/bench/rounds.sh"
runs=${1:-5}
build=$root/build/bench
native_tools morsela_stand_in
command -v 7zz >/dev/null || apt-get install -y -qq 7zip >/dev/null
morsela=$build/tests/morsela_stand_in

work=$(mktemp -d /tmp/morsela-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/morsela" "$work/gnu" "$work/7z"
head -c $((1 << 30)) /dev/urandom >"$work/src.bin"
for d in morsela gnu 7z; do ln "$work/src.bin" "$work/$d/src.bin"; done

warm() { rm -f "$work"/morsela/src#.* "$work"/morsela/src.exe "$work"/gnu/x* "$work"/7z/v.7z*; sync; cat "$work/src.bin" >/dev/null; }
run_variant() {
  local t0 t1
  warm
  t0=$(now)
  case $1 in
    morsela) "$morsela" split "$work/morsela/src.bin" --size 1000 --quiet ;;
    gnu) (cd "$work/gnu" && split -b 1000000 src.bin x) ;;
    7z) (cd "$work/7z" && 7zz a -mx=0 -v1000000b v.7z src.bin >/dev/null) ;;
  esac
  t1=$(now)
  times[$1]+="$(echo "$t1 - $t0" | bc -l) "
}
variants=(morsela gnu 7z)
run_rounds "$runs"
printf 'split of 1 GiB into 1,000 KB pieces, whole processes, %d runs each, alternating\n' "$runs"
print_variants 8
printf '  ratio of medians morsela/GNU split  %.3f (bar: <= 0.6)\n' "$(ratio morsela gnu)"
printf '  ratio of medians morsela/7-Zip      %.3f (bar: <= 1.0)\n' "$(ratio morsela 7z)"
