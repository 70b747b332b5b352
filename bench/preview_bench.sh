#!/usr/bin/env bash
# Wall time of one preview refresh of the real dialog under Wine, for 10,
# 100,000 and 10,000,000 pieces (medians of 15 runs), side by side: the
# refresh alone, and with the list's repaint that asks for the visible names.
# The bar: the largest costs at most twice the smallest and under 50 ms.
#   bench/preview_bench.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" windows >/dev/null
driver=$root/build/windows/bench/bench_preview.exe

work=/tmp/morsela-preview-bench-$$
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
# A sparse source of 10^11 - 6 bytes: with the name header of "s.bin" it
# makes exactly 10^11 bytes, so sizes of 10,000,000, 1,000 and 10 KB give
# 10, 100,000 and 10,000,000 pieces.
truncate -s $((100000000000 - 6)) "$work/s.bin"

bash "$root/tests/gui/with_display.sh" "$root/build/windows/wineprefix-gui" \
  "$root/scripts/wine-run.sh" "$driver" "Z:$(echo "$work" | tr / '\\')\\s.bin"
