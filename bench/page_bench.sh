#!/usr/bin/env bash
# The restore page against the restore program, on one machine in one run:
# a 1 GiB file in pieces of 1,000 KB restored by its set's own page in
# headless Chromium (from the files chosen to the saved file complete on
# disk; the browser's start and the page's opening not counted) and by the
# real restore program under Wine (started to ended); alternating, each
# round in a fresh random order; best and median of each, their ratio, and
# the browser's peak memory (every process of it, proportional set size)
# and its memory before the files were chosen.
#   bench/page_bench.sh [RUNS]   (default 5; needs about 4 GiB free in /tmp)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/bench/rounds.sh"
runs=${1:-5}
build=$root/build/bench
native_tools split_driver morsela_page
bash "$root/scripts/build.sh" windows >/dev/null
split=$build/tools/split_driver
program=$root/build/windows/restore/unsplit.exe
export MORSELA_WINEPREFIX=$root/build/windows/wineprefix
wine_run=$root/scripts/wine-run.sh
"$wine_run" --wineserver -p >/dev/null 2>&1 </dev/null || true

work=$(mktemp -d /tmp/morsela-page-bench.XXXXXX)
trap 'rm -rf "$work"; "$wine_run" --wineserver -k 2>/dev/null || true' EXIT
mkdir "$work/set" "$work/downloads"
head -c $((1 << 30)) /dev/urandom > "$work/set/src.bin"
cp "$work/set/src.bin" "$work/expected"
"$split" --page "$build/page/restore.html" "$work/set/src.bin" 1000 "$program"
rm "$work/set/src.bin"
pieces=("$work"/set/src#.*)

# As in restore_bench.sh: each run starts with the pieces read once and the
# earlier output gone.
warm() { rm -f "$work/set/src.bin" "$work"/downloads/*; sync; cat "${pieces[@]}" >/dev/null; }
peaks=() idles=()
run_variant() {
  local t0 t1 out
  warm
  case $1 in
    page)
      out=$(node "$root/bench/page_run.mjs" "$work/set/src.restore.html" "$work/set" "$work/downloads")
      read -r seconds peak idle <<<"$out"
      times[page]+="$seconds "
      peaks+=("$peak")
      idles+=("$idle")
      cmp -s "$work/downloads/src.bin" "$work/expected" || { echo "page: the saved file differs" >&2; exit 1; }
      ;;
    wine-program)
      t0=$(now); "$wine_run" "Z:${work//\//\\}\\set\\src.exe"; t1=$(now)
      times[wine-program]+="$(echo "$t1 - $t0" | bc -l) "
      cmp -s "$work/set/src.bin" "$work/expected" || { echo "wine: the restored file differs" >&2; exit 1; }
      ;;
  esac
}
variants=(page wine-program)
run_rounds "$runs"
printf 'restore of 1 GiB from %d pieces of 1,000 KB, %d runs each, alternating\n' "${#pieces[@]}" "$runs"
print_variants 13
printf '  ratio of bests page/program    %.3f (bar: <= 2, aim: 1.5)\n' \
  "$(echo "$(best "${times[page]}") / $(best "${times[wine-program]}")" | bc -l)"
printf '  ratio of medians page/program  %.3f (bar: <= 2, aim: 1.5)\n' "$(ratio page wine-program)"
printf '  the browser'"'"'s peak memory: %s KiB (runs: %s; before the files were chosen: %s)\n' \
  "$(printf '%s\n' "${peaks[@]}" | sort -n | tail -n1)" "${peaks[*]}" "${idles[*]}"
printf '  the page: %d bytes\n' "$(stat -c %s "$build/page/restore.html")"
