#!/usr/bin/env bash
# What recovery pieces cost, on one machine in one run, for a 1 GiB random
# source; each group in rounds of a fresh random order, best and median of
# each, ratios of the medians of the same run.
#  1. The split into 1,000 KB pieces with 0, 1, 2, 4 and 8 recovery pieces
#     natively, and with 0 and 1 under Wine (the Windows build of the same
#     driver).
#  2. At 18,300 KB (a mail preset) with 0 and 3 recovery pieces; then, in
#     rounds of their own (PAR2_RUNS, default 2: par2 takes tens of
#     seconds), the split with 3 against GNU split followed by
#     `par2 create -r5` on its pieces.
#  3. At 100,000 KB with 0, 1 and 8 recovery pieces, the source read once
#     beforehand (in the page cache), and with 0 and 1 with the source's
#     pages dropped first (read from the disk).
#  4. The native restore of the set of 1,000 KB pieces with one recovery
#     piece: whole, and with one piece deleted, which the restore rebuilds.
#  5. The native restore of the set of 18,300 KB pieces with 3 recovery
#     pieces: whole, and with one byte inverted in each of 50 pieces (one
#     damaged stripe in each, in rows far apart), which the restore mends.
#  6. The peak memory (maximum resident set) of the native split and of
#     the restores.
# The split's figure is the engine's call alone (the driver's own clock,
# Wine's start not counted); a restore's and GNU split + par2's are whole
# runs. Every restored file is compared with the source once.
# With "splits" as third argument, only the splits' groups (1 to 3) run.
#   bench/recovery_bench.sh [RUNS] [PAR2_RUNS] [splits]   (default 5 and 2; needs about 6 GiB free in /tmp)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/bench/rounds.sh"
runs=${1:-5}
par2_runs=${2:-2}
only=${3:-}
build=$root/build/bench
native_tools split_driver restore_driver
command -v par2 >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -q par2 >/dev/null ||
  { echo "recovery_bench: par2 is missing (apt-get install par2)" >&2; exit 1; }
driver=$build/tools/split_driver restore=$build/tools/restore_driver
wdriver=$root/build/windows/tools/split_driver.exe
[ -f "$wdriver" ] || bash "$root/scripts/build.sh" windows >/dev/null
export MORSELA_WINEPREFIX=$root/build/windows/wineprefix
wine_run=$root/scripts/wine-run.sh
"$wine_run" --wineserver -p >/dev/null 2>&1 </dev/null || true

work=$(mktemp -d /tmp/morsela-bench.XXXXXX)
trap 'rm -rf "$work"; "$wine_run" --wineserver -k 2>/dev/null || true' EXIT
mkdir "$work/gnu"
head -c $((1 << 30)) /dev/urandom > "$work/src.bin"
src=$work/src.bin wsrc="Z:${work//\//\\}\\src.bin"
ln "$src" "$work/gnu/src.bin"

# This machine gives back page cache eagerly: each timed run starts with the
# earlier pieces gone and written back, and the source read once (warm) or
# its pages dropped (cold).
clean() { rm -f "$work"/src#.* "$work"/src.exe "$work"/gnu/x*; sync; }
warm() { clean; cat "$src" >/dev/null; }
cold() {
  clean
  python3 -c 'import os, sys; fd = os.open(sys.argv[1], os.O_RDONLY); os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)' "$src"
}
first() { echo "${1%% *}"; }
# Variants of the split are named WHERE-SIZE_KB-rR[-cold] (WHERE native or
# wine); gnu+par2 is GNU split at 18,300 KB and par2 -r5 on its pieces.
run_variant() {
  local where size r cache t0 t1
  if [ "$1" = gnu+par2 ]; then
    warm
    t0=$(now)
    (cd "$work/gnu" && split -b 18300000 src.bin x && par2 create -q -q -r5 x.par2 xa? >/dev/null)
    t1=$(now)
    times[$1]+="$(echo "$t1 - $t0" | bc -l) "
    return
  fi
  IFS=- read -r where size r cache <<<"$1"
  r=${r#r}
  if [ "${cache:-}" = cold ]; then cold; else warm; fi
  case $where in
    native)
      times[$1]+="$(first "$(/usr/bin/time -f '%U %S' -o "$work/cpu.txt" "$driver" --time --recovery "$r" "$src" "$size")") "
      cpu[$1]+="$(awk '{print $1 + $2}' "$work/cpu.txt") " ;;
    wine) times[$1]+="$(first "$("$wine_run" "$wdriver" --time --recovery "$r" "$wsrc" "$size" | tr -d '\r')") " ;;
  esac
}
# The processor time of the native splits (user and system, every thread),
# which the other work on a shared machine disturbs less than their time.
print_cpu() {
  local name
  for name in "${variants[@]}"; do
    [ -n "${cpu[$name]:-}" ] || continue
    printf "  %-${1}s processor time best %.3f s  median %.3f s\n" "$name" "$(best "${cpu[$name]}")" \
      "$(median "${cpu[$name]}")"
  done
  cpu=()
}
# to_zero WHERE SIZE_KB SUFFIX R...: each R's ratio of medians to R = 0.
to_zero() {
  local where=$1 size=$2 suffix=$3 r
  shift 3
  for r in "$@"; do
    printf '  ratio of medians R%d/R0 %-6s %-5s %.3f\n' "$r" "$where" "$suffix" \
      "$(ratio "$where-$size-r$r$suffix" "$where-$size-r0$suffix")"
  done
}

variants=(native-1000-r0 native-1000-r1 native-1000-r2 native-1000-r4 native-1000-r8 wine-1000-r0 wine-1000-r1)
run_rounds "$runs"
printf 'split of 1 GiB into 1,000 KB pieces with R recovery pieces, %d runs each, alternating\n' "$runs"
print_variants 16
print_cpu 16
to_zero native 1000 '' 1 2 4 8
to_zero wine 1000 '' 1
printf '  (bars: 1.05, 1.05, 1.1 and 1.2 for R = 1, 2, 4 and 8)\n'

variants=(native-18300-r0 native-18300-r3)
run_rounds "$runs"
printf 'split of 1 GiB into 18,300 KB pieces, %d runs each, alternating\n' "$runs"
print_variants 16
print_cpu 16
to_zero native 18300 '' 3
printf '  (bar: 1.1)\n'
if ((par2_runs > 0)); then
  variants=(native-18300-r3 gnu+par2)
  run_rounds "$par2_runs"
  printf 'the same with 3 recovery pieces against GNU split + par2 create -r5, %d runs each, alternating\n' "$par2_runs"
  print_variants 16
  printf '  ratio of medians Morsela/(GNU split + par2)  %.3f (bar: 0.1)\n' "$(ratio native-18300-r3 gnu+par2)"
fi

variants=(native-100000-r0 native-100000-r1 native-100000-r8 native-100000-r0-cold native-100000-r1-cold)
run_rounds "$runs"
printf 'split of 1 GiB into 100,000 KB pieces, %d runs each, alternating (cold: the source not in the page cache)\n' "$runs"
print_variants 21
print_cpu 21
to_zero native 100000 '' 1 8
to_zero native 100000 -cold 1
printf '  (bar: 1.3 for R = 1, warm and cold)\n'

[ "$only" = splits ] && exit 0

# The split's peak memory, natively, one run each.
peak() { /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident/ {print $2}'; }
declare -A split_peak
for v in 1000-0 1000-1 1000-8 100000-1 100000-8; do
  warm
  split_peak[$v]=$(peak "$driver" --recovery "${v#*-}" "$src" "${v%-*}")
done

# The restores: sets written once, in folders of their own; the source
# stays as the file to compare with.
mkdir "$work/one" "$work/intact" "$work/scattered"
warm
"$driver" --recovery 1 "$src" 1000
mv "$work"/src#.* "$work"/src.exe "$work/one/"
mkdir "$work/one/kept"
ln "$work/one/src#.500" "$work/one/kept/src#.500"
"$driver" --recovery 3 "$src" 18300
mv "$work"/src#.* "$work"/src.exe "$work/intact/"
# The scattered set: the same files, 50 pieces of them copies with one byte
# inverted, 366,000 bytes further into each piece than in the one before.
for f in "$work"/intact/*; do ln "$f" "$work/scattered/"; done
for ((k = 0; k < 50; k++)); do
  piece=$work/scattered/src#.$k
  cp --remove-destination "$work/intact/src#.$k" "$piece"
  python3 -c 'import sys
with open(sys.argv[1], "r+b") as f:
    f.seek(int(sys.argv[2])); b = f.read(1); f.seek(int(sys.argv[2])); f.write(bytes([b[0] ^ 0xFF]))' \
    "$piece" $((1000 + 366000 * k))
done
mv "$src" "$work/expected"

# Each timed run starts with the present files of its set read once and
# the earlier output gone and written back.
declare -A restore_peak checked
folder_of() { case $1 in intact-1000 | rebuilt) echo one ;; intact-18300) echo intact ;; scattered) echo scattered ;; esac; }
run_variant() {
  local folder t0 t1 rss
  folder=$work/$(folder_of "$1")
  case $1 in
    intact-1000) [ -e "$folder/src#.500" ] || ln "$folder/kept/src#.500" "$folder/src#.500" ;;
    rebuilt) rm -f "$folder/src#.500" ;;
  esac
  rm -f "$folder/src.bin"
  sync
  cat "$folder"/src#.* >/dev/null
  t0=$(now)
  /usr/bin/time -v -o "$work/time.txt" "$restore" "$folder/src.exe" >"$work/said.txt" 2>&1 ||
    { echo "$1: the restore failed:" >&2; cat "$work/said.txt" >&2; exit 1; }
  t1=$(now)
  times[$1]+="$(echo "$t1 - $t0" | bc -l) "
  rss=$(awk -F': ' '/Maximum resident/ {print $2}' "$work/time.txt")
  if ((rss > ${restore_peak[$1]:-0})); then restore_peak[$1]=$rss; fi
  if [ -z "${checked[$1]:-}" ]; then
    cmp -s "$folder/src.bin" "$work/expected" || { echo "$1: the restored file differs from the source" >&2; exit 1; }
    checked[$1]=yes
  fi
}
variants=(intact-1000 rebuilt)
run_rounds "$runs"
printf 'native restore of 1 GiB from 1,000 KB pieces and one recovery piece, %d runs each, alternating\n' "$runs"
printf '  (rebuilt: src#.500 deleted, rebuilt from the recovery piece)\n'
print_variants 13
printf '  ratio of medians rebuilt/intact    %.3f (bar: 1.2)\n' "$(ratio rebuilt intact-1000)"
variants=(intact-18300 scattered)
run_rounds "$runs"
printf 'native restore of 1 GiB from 18,300 KB pieces and 3 recovery pieces, %d runs each, alternating\n' "$runs"
printf '  (scattered: one damaged stripe in each of 50 pieces, mended)\n'
print_variants 13
printf '  ratio of medians scattered/intact  %.3f\n' "$(ratio scattered intact-18300)"
printf '  every restored output compared with the source: the same\n'

printf 'peak memory (max RSS), native\n'
printf '  split 1,000 KB pieces, R = 0        %d KiB\n' "${split_peak[1000-0]}"
printf '  split 1,000 KB pieces, R = 1        %d KiB\n' "${split_peak[1000-1]}"
printf '  split 1,000 KB pieces, R = 8        %d KiB\n' "${split_peak[1000-8]}"
printf '  split 100,000 KB pieces, R = 1      %d KiB\n' "${split_peak[100000-1]}"
printf '  split 100,000 KB pieces, R = 8      %d KiB\n' "${split_peak[100000-8]}"
printf '  restore, intact (largest of runs)   %d KiB\n' "${restore_peak[intact-1000]}"
printf '  restore, rebuilt (largest of runs)  %d KiB\n' "${restore_peak[rebuilt]}"
printf '  restore, 50 stripes mended          %d KiB\n' "${restore_peak[scattered]}"
