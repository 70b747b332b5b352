#!/usr/bin/env bash
# The window at the scales of 100%, 150% and 200% (the prefix's LogPixels:
# 96, 144 and 192 dots per inch). At each: the layout test of the real
# dialog (controls inside the window, none overlapping, every text fitting,
# the font and icons of the scale), then Morsela.exe started with a file on
# its command line, split through the keyboard into pieces of 1,000 KB,
# and a screenshot of its window (screenshot-DPI.png in OUT_DIR).
#   scaled_layout.sh GUI_TESTS_EXE MORSELA_EXE OUT_DIR
# Needs DISPLAY and MORSELA_WINEPREFIX (see with_display.sh), a prefix of
# its own (it changes the scale), and a screen of 2048x1536 for 200%.
set -u
tests=$1 exe=$2 out=$3
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d /tmp/morsela-scaled.XXXXXX)
fail() { echo "scaled_layout: $*" >&2; exit 1; }
source "$root/tests/gui/xdo.sh"

head -c 2500000 /dev/urandom >"$work/Movie.AVI"
for dpi in 96 144 192; do
  "$root/scripts/wine-run.sh" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
    >/dev/null 2>&1 </dev/null || fail "cannot set the scale to $dpi"
  MORSELA_EXPECTED_DPI=$dpi "$root/scripts/wine-run.sh" "$tests" \
    --gtest_filter=LiveSplitterDialog.TheLayoutFitsAtTheScaleOfTheSystem </dev/null ||
    fail "the layout at $dpi dots per inch"

  "$root/scripts/wine-run.sh" "$exe" "Z:${work//\//\\}\\Movie.AVI" >/dev/null 2>&1 </dev/null &
  app=$!
  main=$(find_window '^Morsela by Quellin Studio$')
  [ -n "$main" ] || fail "the window did not appear at $dpi dots per inch"
  # The focus starts on "Choose a File": to the size field, 100 made 1000,
  # past the sizes for limits and the recovery pieces to "Split Current
  # File", press it.
  focus "$main"
  xdotool key Tab End
  xdotool type 0
  xdotool key Tab Tab Tab space
  for _ in $(seq 200); do [ -f "$work/movie.exe" ] && break; sleep 0.1; done
  [ -f "$work/movie#.2" ] || fail "no split at $dpi dots per inch: $(ls "$work")"
  sleep 0.5
  import -window "$main" "$out/screenshot-$dpi.png" || fail "no screenshot at $dpi dots per inch"
  echo "scaled_layout: $dpi dots per inch, window $(xdotool getwindowgeometry "$main" | awk '/Geometry/ {print $2}')"
  end_with_escape "$main"
  rm -f "$work"/movie*
done
echo "scaled_layout: the layout fits at 96, 144 and 192 dots per inch; screenshots in $out"
