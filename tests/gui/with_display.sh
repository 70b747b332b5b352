#!/usr/bin/env bash
# Runs a command with an X display (Xvfb) and a Wine prefix of its own, both
# started here and ended when the command ends; exits with its status.
#   with_display.sh WINEPREFIX COMMAND...
# MORSELA_SCREEN sets the screen (default 1024x768x24: width, height, depth).
set -u
prefix=$1
shift
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export MORSELA_WINEPREFIX=$prefix

number=$(mktemp /tmp/morsela-display.XXXXXX)
# Xvfb writes the display number it chose; no fixed number can collide.
Xvfb -displayfd 3 -screen 0 "${MORSELA_SCREEN:-1024x768x24}" -nolisten tcp 3>"$number" >/dev/null 2>&1 </dev/null &
xvfb=$!
cleanup() {
  "$root/scripts/wine-run.sh" --wineserver -k >/dev/null 2>&1 </dev/null
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
  rm -f "$number"
}
trap cleanup EXIT
for _ in $(seq 100); do [ -s "$number" ] && break; sleep 0.1; done
if [ ! -s "$number" ]; then echo "with_display: Xvfb did not start" >&2; exit 1; fi
export DISPLAY=:$(head -n1 "$number")

# The prefix's wineserver, started apart from CTest's output pipes (CTest
# would wait for it) and kept until the cleanup.
"$root/scripts/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 </dev/null
"$root/scripts/wine-run.sh" --wineserver -p >/dev/null 2>&1 </dev/null
"$root/scripts/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 </dev/null

"$@"
