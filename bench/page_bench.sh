#!/usr/bin/env bash
# The restore page against the restore program, on one machine in one run:
# a 1 GiB file in pieces of 1,000 KB restored by its set's own page in
# headless Chromium (from the files chosen to the saved file complete on
# disk; the browser's start and the page's opening not counted) and by the
# real restore program under Wine (started to ended); alternating, each
# round in a fresh random order; best and median of each, their ratio, the
# browser's peak memory (every process of it, proportional set size) and
# its memory before the files were chosen, and the processor time the
# browser took (all its processes, user and system), which a machine
# shared with other work disturbs less than the time, and how long the
# check took until the page offered the file (the rest is the save).
#   bench/page_bench.sh [RUNS] [EARLIER_PAGE]
# (RUNS default 5; needs about 4 GiB free in /tmp). EARLIER_PAGE: a
# restore.html built from another commit (page/build_wasm.sh and
# page/assemble_page.py there), filled with the same set and run in the
# same rounds as "page-earlier", so that a change is measured against
# what it changed in the same conditions.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/bench/rounds.sh"
runs=${1:-5}
earlier=${2:-}
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
if [ -n "$earlier" ]; then
  mkdir "$work/earlier"
  node --input-type=module -e "
    import fs from 'node:fs';
    import { descriptionOf, fillPage } from '$root/tests/browser/page_file.mjs';
    const [template, own, out] = process.argv.slice(1);
    fs.writeFileSync(out, fillPage(fs.readFileSync(template, 'utf8'), descriptionOf(fs.readFileSync(own, 'utf8'))));
  " "$earlier" "$work/set/src.restore.html" "$work/earlier/src.restore.html"
fi

# As in restore_bench.sh: each run starts with the pieces read once and the
# earlier output gone.
warm() { rm -f "$work/set/src.bin" "$work"/downloads/*; sync; cat "${pieces[@]}" >/dev/null; }
declare -A peaks idles cpus checks
run_variant() {
  local t0 t1 out page=$work/set/src.restore.html
  warm
  case $1 in
    page | page-earlier)
      [ "$1" = page ] || page=$work/earlier/src.restore.html
      out=$(node "$root/bench/page_run.mjs" "$page" "$work/set" "$work/downloads")
      read -r seconds peak idle cpu check <<<"$out"
      times[$1]+="$seconds "
      peaks[$1]+="$peak "
      idles[$1]+="$idle "
      cpus[$1]+="$cpu "
      checks[$1]+="$check "
      cmp -s "$work/downloads/src.bin" "$work/expected" || { echo "$1: the saved file differs" >&2; exit 1; }
      ;;
    wine-program)
      t0=$(now); "$wine_run" "Z:${work//\//\\}\\set\\src.exe"; t1=$(now)
      times[wine-program]+="$(echo "$t1 - $t0" | bc -l) "
      cmp -s "$work/set/src.bin" "$work/expected" || { echo "wine: the restored file differs" >&2; exit 1; }
      ;;
  esac
}
variants=(page wine-program)
[ -z "$earlier" ] || variants+=(page-earlier)
printf 'load before: %s\n' "$(uptime)"
run_rounds "$runs"
printf 'load after: %s\n' "$(uptime)"
printf 'restore of 1 GiB from %d pieces of 1,000 KB, %d runs each, alternating\n' "${#pieces[@]}" "$runs"
print_variants 13
for v in page page-earlier; do
  [ -n "${times[$v]:-}" ] || continue
  # The first of each list is the round not counted.
  for list in peaks idles cpus checks; do
    declare -n of=$list
    of[$v]=${of[$v]#* }
  done
  printf '  %s: the check until the file was offered, median %.2f s (runs: %s)\n' "$v" "$(median "${checks[$v]}")" \
    "${checks[$v]}"
  printf '  %s: ratio of bests to the program %.3f, of medians %.3f (bar: <= 2, aim: 1.5)\n' "$v" \
    "$(echo "$(best "${times[$v]}") / $(best "${times[wine-program]}")" | bc -l)" "$(ratio "$v" wine-program)"
  printf '  %s: the browser'"'"'s peak memory %s KiB (runs: %s; before the files were chosen: %s)\n' "$v" \
    "$(printf '%s\n' ${peaks[$v]} | sort -n | tail -n1)" "${peaks[$v]}" "${idles[$v]}"
  printf '  %s: the browser'"'"'s processor time, median %.2f s (runs: %s)\n' "$v" "$(median "${cpus[$v]}")" "${cpus[$v]}"
done
printf '  the page: %d bytes\n' "$(stat -c %s "$build/page/restore.html")"
if [ -n "$earlier" ]; then
  printf '  ratio of medians page/page-earlier %.3f; the earlier page: %d bytes\n' "$(ratio page page-earlier)" \
    "$(stat -c %s "$earlier")"
fi
