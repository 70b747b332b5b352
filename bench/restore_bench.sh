#!/usr/bin/env bash
# Restore throughput and memory, on one machine in one run: the pieces of a
# 1 GiB file (1,000 KB each) joined by the native build of the restore logic
# and by the real restore program under Wine, each both with the manifest
# the split wrote (every piece's CRC checked) and from the bare image (the
# rules by name, nothing checked), natively also with its flushes to the
# disk skipped (what they cost), under Wine also through Morsela's window
# (the real dialog given a piece, its Restore File pressed), and by cat of
# the pieces in number order (then also with the output flushed to the
# disk, as the restore does); each round in a fresh random order. The Wine
# runs share an X display of their own, which the window needs. Then the
# native restore's peak memory for 1 GiB and 4 GiB sets.
#   bench/restore_bench.sh [RUNS]   (default 5; needs about 12 GiB free in /tmp)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/bench/rounds.sh"
runs=${1:-5}
build=$root/build/bench
native_tools split_driver restore_driver
bash "$root/scripts/build.sh" windows >/dev/null
split=$build/tools/split_driver restore=$build/tools/restore_driver
program=$root/build/windows/restore/unsplit.exe window=$root/build/windows/bench/bench_restore_window.exe
export MORSELA_WINEPREFIX=$root/build/windows/wineprefix
wine_run=$root/scripts/wine-run.sh
"$wine_run" --wineserver -p >/dev/null 2>&1 </dev/null || true

work=$(mktemp -d /tmp/morsela-bench.XXXXXX)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 </dev/null &
xvfb=$!
trap 'rm -rf "$work"; "$wine_run" --wineserver -k 2>/dev/null || true; kill $xvfb' EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(head -n1 "$work/display")
head -c $((1 << 30)) /dev/urandom > "$work/src.bin"
cp "$work/src.bin" "$work/expected"
"$split" "$work/src.bin" 1000 "$program"
rm "$work/src.bin"
# The same image without a manifest, named so that it finds the same pieces.
cp "$program" "$work/src.bare.exe"
count=$(ls "$work" | grep -c '^src#\.')
pieces=()
for ((k = 0; k < count; k++)); do pieces+=("$work/src#.$k"); done

# This machine gives back page cache eagerly: each timed run starts with the
# pieces read once and the earlier output gone, so that all three read from
# memory and none pays for another's write-back.
warm() { rm -f "$work/src.bin" "$work/cat.out"; sync; cat "${pieces[@]}" >/dev/null; }
# timed NAME COMMAND...: one run, its seconds appended to times[NAME].
timed() {
  local name=$1 t0 t1
  shift
  warm
  t0=$(now); "$@"; t1=$(now)
  times[$name]+="$(echo "$t1 - $t0" | bc -l) "
  if [ "$name" != cat ] && [ "$name" != cat+flush ]; then
    cmp -s "$work/src.bin" "$work/expected" || { echo "$name: the restored file differs" >&2; exit 1; }
  fi
}
cat_pieces() { cat "${pieces[@]}" > "$work/cat.out"; }
cat_flushed() { cat "${pieces[@]}" > "$work/cat.out" && sync "$work/cat.out"; }
winpath() { echo "Z:${1//\//\\}"; }
run_variant() {
  case $1 in
    native-checked) timed "$1" "$restore" "$work/src.exe" ;;
    native-unchecked) timed "$1" "$restore" "$work/src.bare.exe" ;;
    native-no-flush) timed "$1" "$restore" --no-flush "$work/src.exe" ;;
    cat) timed "$1" cat_pieces ;;
    cat+flush) timed "$1" cat_flushed ;;
    wine-checked) timed "$1" "$wine_run" "$(winpath "$work/src.exe")" ;;
    wine-unchecked) timed "$1" "$wine_run" "$(winpath "$work/src.bare.exe")" ;;
    wine-window) timed "$1" "$wine_run" "$window" "$(winpath "$work/src#.0")" ;;
  esac
}
variants=(native-checked native-unchecked native-no-flush cat cat+flush wine-checked wine-unchecked wine-window)
run_rounds "$runs"
printf 'restore of 1 GiB from %d pieces of 1,000 KB, %d runs each, alternating\n' "$count" "$runs"
print_variants 17
printf '  ratio of medians native checked/unchecked  %.3f (bar: <= 1.1)\n' "$(ratio native-checked native-unchecked)"
printf '  ratio of medians Wine checked/unchecked    %.3f (bar: <= 1.1)\n' "$(ratio wine-checked wine-unchecked)"
printf '  ratio of medians native checked/cat        %.3f (bar: <= 1.0)\n' "$(ratio native-checked cat)"
printf '  ratio of medians Wine checked/cat          %.3f (bar: <= 1.1)\n' "$(ratio wine-checked cat)"
printf '  ratio of medians native checked/cat+flush  %.3f\n' "$(ratio native-checked cat+flush)"
printf '  ratio of medians Wine checked/cat+flush    %.3f\n' "$(ratio wine-checked cat+flush)"
printf '  ratio of medians native no-flush/cat       %.3f\n' "$(ratio native-no-flush cat)"
printf '  ratio of medians Wine window/program       %.3f (bar: <= 1.1)\n' "$(ratio wine-window wine-checked)"

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
