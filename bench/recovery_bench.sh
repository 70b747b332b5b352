#!/usr/bin/env bash
# What recovery pieces cost, on one machine in one run, for a 1 GiB random
# source. First the split into 1,000 KB pieces without a recovery piece and
# with one, natively and under Wine (the Windows build of the same driver).
# Then natively the split with more recovery pieces: 0, 2, 4 and 8 at
# 1,000 KB, and 0, 1, 2, 4 and 8 at 100,000 KB, where a piece is longer than
# the engine's window of recovery data (64 MiB shared by the recovery
# pieces) and the rest of each piece is read from the source a second time.
# The split's figure is the engine's call alone (the driver's own clock,
# Wine's start not counted). Then the native restore of the set of 1,000 KB
# pieces with one recovery piece: whole, and with one piece deleted, which
# the restore rebuilds from the recovery piece (whole runs, the restored
# file compared with the source once). Each group in rounds of a fresh
# random order; best and median of each, ratios of medians. Last, the peak
# memory of the native split with 0, 1 and 8 recovery pieces at 1,000 KB
# and with 1 at 100,000 KB.
#   bench/recovery_bench.sh [RUNS]   (default 5; needs about 5 GiB free in /tmp)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/bench/rounds.sh"
runs=${1:-5}
build=$root/build/bench
native_tools split_driver restore_driver
driver=$build/tools/split_driver restore=$build/tools/restore_driver
wdriver=$root/build/windows/tools/split_driver.exe
[ -f "$wdriver" ] || bash "$root/scripts/build.sh" windows >/dev/null
export MORSELA_WINEPREFIX=$root/build/windows/wineprefix
wine_run=$root/scripts/wine-run.sh
"$wine_run" --wineserver -p >/dev/null 2>&1 </dev/null || true

work=$(mktemp -d /tmp/morsela-bench.XXXXXX)
trap 'rm -rf "$work"; "$wine_run" --wineserver -k 2>/dev/null || true' EXIT
head -c $((1 << 30)) /dev/urandom > "$work/src.bin"
src=$work/src.bin wsrc="Z:${work//\//\\}\\src.bin"

# This machine gives back page cache eagerly: each timed run starts with the
# source read once and the earlier pieces gone and written back.
warm() { rm -f "$work"/src#.* "$work"/src.exe; sync; cat "$src" >/dev/null; }
first() { echo "${1%% *}"; }
# Variants of the split are named WHERE-SIZE_KB-rR (WHERE native or wine).
run_variant() {
  local where size r
  IFS=- read -r where size r <<<"$1"
  r=${r#r}
  warm
  case $where in
    native) times[$1]+="$(first "$("$driver" --time --recovery "$r" "$src" "$size")") " ;;
    wine) times[$1]+="$(first "$("$wine_run" "$wdriver" --time --recovery "$r" "$wsrc" "$size" | tr -d '\r')") " ;;
  esac
}
# to_zero WHERE SIZE_KB R...: each R's ratio of medians to R = 0.
to_zero() {
  local where=$1 size=$2 r
  shift 2
  for r in "$@"; do
    printf '  ratio of medians R%d/R0 %-6s %.3f\n' "$r" "$where" "$(ratio "$where-$size-r$r" "$where-$size-r0")"
  done
}

variants=(native-1000-r0 native-1000-r1 wine-1000-r0 wine-1000-r1)
run_rounds "$runs"
printf 'split of 1 GiB into 1,000 KB pieces, no recovery piece (r0) and one (r1), %d runs each, alternating\n' "$runs"
print_variants 15
printf '  ratio of medians R1/R0 native  %.3f (bar: <= 1.1)\n' "$(ratio native-1000-r1 native-1000-r0)"
printf '  ratio of medians R1/R0 Wine    %.3f (bar: <= 1.1)\n' "$(ratio wine-1000-r1 wine-1000-r0)"

variants=(native-1000-r0 native-1000-r2 native-1000-r4 native-1000-r8)
run_rounds "$runs"
printf 'native split of 1 GiB into 1,000 KB pieces with R recovery pieces, %d runs each, alternating\n' "$runs"
print_variants 15
to_zero native 1000 2 4 8

variants=(native-100000-r0 native-100000-r1 native-100000-r2 native-100000-r4 native-100000-r8)
run_rounds "$runs"
printf 'native split of 1 GiB into 100,000 KB pieces with R recovery pieces, %d runs each, alternating\n' "$runs"
printf '  (a window of 64 MiB / R of recovery data; the rest of each piece read again)\n'
print_variants 17
to_zero native 100000 1 2 4 8

# The split's peak memory, natively, one run each.
peak() { /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident/ {print $2}'; }
declare -A split_peak
for v in 1000-0 1000-1 1000-8 100000-1; do
  warm
  split_peak[$v]=$(peak "$driver" --recovery "${v#*-}" "$src" "${v%-*}")
done

# The restore: a set of 1,000 KB pieces with one recovery piece, written
# once; the source stays as the file to compare with.
warm
"$driver" --recovery 1 "$src" 1000
mv "$src" "$work/expected"
mkdir "$work/kept"
ln "$work/src#.500" "$work/kept/src#.500"
sets=("$work"/src#.*)
# Each timed run starts with the present files of the set read once and
# the earlier output gone and written back.
declare -A restore_peak
checked=
run_variant() {
  local t0 t1 rss
  case $1 in
    intact) [ -e "$work/src#.500" ] || ln "$work/kept/src#.500" "$work/src#.500" ;;
    rebuilt) rm -f "$work/src#.500" ;;
  esac
  rm -f "$src"
  sync
  for f in "${sets[@]}"; do if [ -e "$f" ]; then cat "$f"; fi; done >/dev/null
  t0=$(now)
  /usr/bin/time -v -o "$work/time.txt" "$restore" "$work/src.exe" 2>"$work/said.txt" ||
    { echo "$1: the restore failed:" >&2; cat "$work/said.txt" >&2; exit 1; }
  t1=$(now)
  times[$1]+="$(echo "$t1 - $t0" | bc -l) "
  rss=$(awk -F': ' '/Maximum resident/ {print $2}' "$work/time.txt")
  if ((rss > ${restore_peak[$1]:-0})); then restore_peak[$1]=$rss; fi
  if [ "$1" = rebuilt ] && [ -z "$checked" ]; then
    cmp -s "$src" "$work/expected" || { echo "rebuilt: the restored file differs from the source" >&2; exit 1; }
    checked=yes
  fi
}
variants=(intact rebuilt)
run_rounds "$runs"
printf 'native restore of 1 GiB from 1,000 KB pieces and one recovery piece, %d runs each, alternating\n' "$runs"
printf '  (intact: every piece there; rebuilt: src#.500 deleted, rebuilt from the recovery piece)\n'
print_variants 8
printf '  ratio of medians rebuilt/intact  %.3f\n' "$(ratio rebuilt intact)"
printf '  the rebuilt output compared with the source: the same\n'

printf 'peak memory (max RSS), native\n'
printf '  split 1,000 KB pieces, R = 0      %d KiB\n' "${split_peak[1000-0]}"
printf '  split 1,000 KB pieces, R = 1      %d KiB\n' "${split_peak[1000-1]}"
printf '  split 1,000 KB pieces, R = 8      %d KiB\n' "${split_peak[1000-8]}"
printf '  split 100,000 KB pieces, R = 1    %d KiB\n' "${split_peak[100000-1]}"
printf '  restore, intact (largest of runs)   %d KiB\n' "${restore_peak[intact]}"
printf '  restore, rebuilt (largest of runs)  %d KiB\n' "${restore_peak[rebuilt]}"
