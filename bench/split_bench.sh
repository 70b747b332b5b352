#!/usr/bin/env bash
# Split throughput and memory of the engine against GNU split, on one machine
# in one run: a 1 GiB file cut into 1,000 KB pieces, runs alternating, then
# the engine's peak memory for 1 GiB and 4 GiB sources.
#   bench/split_bench.sh [RUNS]   (default 5; needs about 12 GiB free in /tmp)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=${1:-5}
build=$root/build/bench
bash "$root/scripts/setup.sh"
[ -f "$build/build.ninja" ] || cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target split_driver >/dev/null
driver=$build/tools/split_driver

work=$(mktemp -d /tmp/morsela-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/engine" "$work/gnu"
head -c $((1 << 30)) /dev/urandom > "$work/engine/src.bin"
ln "$work/engine/src.bin" "$work/gnu/src.bin"

now() { date +%s.%N; }
engine_times=() gnu_times=()
# This machine gives back page cache eagerly: each timed run starts with the
# source read once and the earlier pieces gone and written back.
warm() { rm -f "$work"/engine/src#.* "$work"/gnu/x*; sync; cat "$work/engine/src.bin" >/dev/null; }
for ((i = 0; i < runs; i++)); do
  warm
  t0=$(now); "$driver" "$work/engine/src.bin" 1000; t1=$(now)
  engine_times+=("$(echo "$t1 - $t0" | bc -l)")
  warm
  t0=$(now); (cd "$work/gnu" && split -b 1000000 src.bin x); t1=$(now)
  gnu_times+=("$(echo "$t1 - $t0" | bc -l)")
done
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
best() { printf '%s\n' "$@" | sort -g | head -n1; }
me=$(median "${engine_times[@]}") mg=$(median "${gnu_times[@]}")
printf 'split of 1 GiB into 1,000 KB pieces, %d runs each, alternating\n' "$runs"
printf '  engine      best %.3f s  median %.3f s\n' "$(best "${engine_times[@]}")" "$me"
printf '  GNU split   best %.3f s  median %.3f s\n' "$(best "${gnu_times[@]}")" "$mg"
printf '  ratio engine/GNU  %.3f (bar: <= 1.0)\n' "$(echo "$me / $mg" | bc -l)"

peak() { # file size_kb -> peak resident KiB
  /usr/bin/time -v "$driver" "$1" "$2" 2>&1 >/dev/null | awk -F': ' '/Maximum resident/ {print $2}'
}
rm -f "$work"/engine/src#.* "$work"/gnu/x*
p1=$(peak "$work/engine/src.bin" 1000)
rm -f "$work"/engine/src#.* "$work"/engine/src.exe "$work/gnu/src.bin"
cat "$work/engine/src.bin" "$work/engine/src.bin" "$work/engine/src.bin" "$work/engine/src.bin" > "$work/engine/big.bin"
rm -f "$work/engine/src.bin"
p4=$(peak "$work/engine/big.bin" 1000)
printf 'peak memory of the engine (bar: < 16 MiB, the same for both)\n'
printf '  1 GiB source  %d KiB\n  4 GiB source  %d KiB\n' "$p1" "$p4"
