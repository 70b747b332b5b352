#!/usr/bin/env bash
# Restore throughput and memory, on one machine in one run: the pieces of a
# 1 GiB file (1,000 KB each) joined by the native build of the restore logic,
# by cat of the pieces in number order, and by the real restore program
# under Wine, runs alternating; then the native restore's peak memory for
# 1 GiB and 4 GiB sets.
#   bench/restore_bench.sh [RUNS]   (default 5; needs about 12 GiB free in /tmp)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=${1:-5}
build=$root/build/bench
bash "$root/scripts/setup.sh"
[ -f "$build/build.ninja" ] || cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target split_driver restore_driver >/dev/null
bash "$root/scripts/build.sh" windows >/dev/null
split=$build/tools/split_driver restore=$build/tools/restore_driver
program=$root/build/windows/restore/unsplit.exe
export MORSELA_WINEPREFIX=$root/build/windows/wineprefix
wine_run=$root/scripts/wine-run.sh
"$wine_run" --wineserver -p >/dev/null 2>&1 </dev/null || true

work=$(mktemp -d /tmp/morsela-bench.XXXXXX)
trap 'rm -rf "$work"; "$wine_run" --wineserver -k 2>/dev/null || true' EXIT
head -c $((1 << 30)) /dev/urandom > "$work/src.bin"
cp "$work/src.bin" "$work/expected"
"$split" "$work/src.bin" 1000 "$program"
rm "$work/src.bin"
count=$(ls "$work" | grep -c '^src#\.')
pieces=()
for ((k = 0; k < count; k++)); do pieces+=("$work/src#.$k"); done

now() { date +%s.%N; }
# This machine gives back page cache eagerly: each timed run starts with the
# pieces read once and the earlier output gone, so that all three read from
# memory and none pays for another's write-back.
warm() { rm -f "$work/src.bin" "$work/cat.out"; sync; cat "${pieces[@]}" >/dev/null; }
native=() catted=() wined=()
for ((i = 0; i < runs; i++)); do
  warm
  t0=$(now); "$restore" "$work/src.exe"; t1=$(now)
  native+=("$(echo "$t1 - $t0" | bc -l)")
  cmp -s "$work/src.bin" "$work/expected" || { echo "native restore differs" >&2; exit 1; }
  warm
  t0=$(now); cat "${pieces[@]}" > "$work/cat.out"; t1=$(now)
  catted+=("$(echo "$t1 - $t0" | bc -l)")
  warm
  t0=$(now); "$wine_run" "Z:${work//\//\\}\\src.exe"; t1=$(now)
  wined+=("$(echo "$t1 - $t0" | bc -l)")
  cmp -s "$work/src.bin" "$work/expected" || { echo "restore under Wine differs" >&2; exit 1; }
done
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
mn=$(median "${native[@]}") mc=$(median "${catted[@]}") mw=$(median "${wined[@]}")
printf 'restore of 1 GiB from %d pieces of 1,000 KB, %d runs each\n' "$count" "$runs"
printf '  native restore    median %.3f s\n' "$mn"
printf '  cat of the pieces median %.3f s\n' "$mc"
printf '  restore under Wine median %.3f s\n' "$mw"
printf '  ratio native/cat   %.3f (bar: <= 1.0)\n' "$(echo "$mn / $mc" | bc -l)"
printf '  ratio Wine/native  %.3f (bar: <= 2.0)\n' "$(echo "$mw / $mn" | bc -l)"

peak() { /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident/ {print $2}'; }
rm -f "$work/src.bin"
p1=$(peak "$restore" "$work/src.exe")
rm -f "$work/src#."* "$work/src.exe"
cat "$work/src.bin" "$work/src.bin" "$work/src.bin" "$work/src.bin" > "$work/big.bin"
rm -f "$work/src.bin" "$work/expected"
"$split" "$work/big.bin" 1000 "$program"
rm "$work/big.bin"
p4=$(peak "$restore" "$work/big.exe")
printf 'peak memory of the native restore (bar: < 16 MiB, the same for both)\n'
printf '  1 GiB set  %d KiB\n  4 GiB set  %d KiB\n' "$p1" "$p4"
