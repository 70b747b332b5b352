#!/usr/bin/env bash
# Split throughput and memory of the engine against GNU split, on one machine
# in one run: a 1 GiB file cut into 1,000 KB pieces by the engine natively
# and under Wine (the Windows build of the same driver), each with its
# threads and without (reading, writing and creating in turn: what the
# threads give), and by GNU split; each round in a fresh random order. The
# engine's figure is the
# split alone as the splitter's window runs it (the driver's own clock,
# Wine's start not counted); GNU split's is its whole run. Then a slow destination
# (a delay of 2 ms added to every write) against the time of the writes
# alone, and the engine's peak memory for 1 GiB and 4 GiB sources.
#   bench/split_bench.sh [RUNS]   (default 5; needs about 12 GiB free in /tmp)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/bench/rounds.sh"
runs=${1:-5}
build=$root/build/bench
native_tools split_driver
bash "$root/scripts/build.sh" windows >/dev/null
driver=$build/tools/split_driver wdriver=$root/build/windows/tools/split_driver.exe
export MORSELA_WINEPREFIX=$root/build/windows/wineprefix
wine_run=$root/scripts/wine-run.sh
"$wine_run" --wineserver -p >/dev/null 2>&1 </dev/null || true

work=$(mktemp -d /tmp/morsela-bench.XXXXXX)
trap 'rm -rf "$work"; "$wine_run" --wineserver -k 2>/dev/null || true' EXIT
mkdir -p "$work/engine" "$work/gnu"
head -c $((1 << 30)) /dev/urandom > "$work/engine/src.bin"
ln "$work/engine/src.bin" "$work/gnu/src.bin"
src=$work/engine/src.bin wsrc="Z:${work//\//\\}\\engine\\src.bin"

# This machine gives back page cache eagerly: each timed run starts with the
# source read once and the earlier pieces gone and written back.
warm() { rm -f "$work"/engine/src#.* "$work"/engine/src.exe "$work"/gnu/x*; sync; cat "$src" >/dev/null; }
first() { echo "${1%% *}"; }
run_variant() {
  local t0 t1
  warm
  case $1 in
    native) times[$1]+="$(first "$("$driver" --time "$src" 1000)") " ;;
    native-serial) times[$1]+="$(first "$("$driver" --time --serial "$src" 1000)") " ;;
    wine) times[$1]+="$(first "$("$wine_run" "$wdriver" --time "$wsrc" 1000 | tr -d '\r')") " ;;
    wine-serial) times[$1]+="$(first "$("$wine_run" "$wdriver" --time --serial "$wsrc" 1000 | tr -d '\r')") " ;;
    gnu)
      t0=$(now); (cd "$work/gnu" && split -b 1000000 src.bin x); t1=$(now)
      times[$1]+="$(echo "$t1 - $t0" | bc -l) " ;;
  esac
}
variants=(native native-serial wine wine-serial gnu)
run_rounds "$runs"
printf 'split of 1 GiB into 1,000 KB pieces, %d runs each, alternating\n' "$runs"
print_variants 14
printf '  ratio of medians native/GNU           %.3f (bar: <= 0.5)\n' "$(ratio native gnu)"
printf '  ratio of medians Wine/GNU             %.3f (bar: <= 1.0)\n' "$(ratio wine gnu)"
printf '  ratio of medians native/native-serial %.3f\n' "$(ratio native native-serial)"
printf '  ratio of medians Wine/Wine-serial     %.3f\n' "$(ratio wine wine-serial)"

# A destination slower than the source: reading and checksumming should
# hide behind the writes, so that the split takes their time and no more.
printf 'slow destination: 2 ms added to every write (split, then seconds in writes)\n'
slow() {
  local figures
  warm
  figures=$("$@" | tr -d '\r')
  set -- $figures
  printf '%.3f s, writes %.3f s, ratio %.3f' "$1" "$2" "$(echo "$1 / $2" | bc -l)"
}
printf '  native         %s\n' "$(slow "$driver" --time --write-delay 2 "$src" 1000)"
printf '  native-serial  %s\n' "$(slow "$driver" --time --serial --write-delay 2 "$src" 1000)"
printf '  wine           %s\n' "$(slow "$wine_run" "$wdriver" --time --write-delay 2 "$wsrc" 1000)"
printf '  (bar: the split no longer than its writes, ratio about 1.0)\n'

peak() { # file size_kb -> peak resident KiB
  /usr/bin/time -v "$driver" "$1" "$2" 2>&1 >/dev/null | awk -F': ' '/Maximum resident/ {print $2}'
}
warm
p1=$(peak "$src" 1000)
rm -f "$work"/engine/src#.* "$work"/engine/src.exe "$work/gnu/src.bin"
cat "$src" "$src" "$src" "$src" > "$work/engine/big.bin"
rm -f "$src"
p4=$(peak "$work/engine/big.bin" 1000)
printf 'peak memory of the engine (bar: < 16 MiB, the same for both)\n'
printf '  1 GiB source  %d KiB\n  4 GiB source  %d KiB\n' "$p1" "$p4"
