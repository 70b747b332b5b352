#!/usr/bin/env bash
# Installs what is missing, builds the Windows executables and starts the
# splitter: under Wine on Linux (on the current X display).
#   run.sh [FILE]   FILE (a Linux path) is chosen at start, as a file dropped
#                   onto Morsela.exe's icon is.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" windows
exe=$root/build/windows/splitter/Morsela.exe
if [ ! -f "$exe" ]; then
  echo "run: the build made no $exe; see the build's output above." >&2
  exit 1
fi
if [ -z "${DISPLAY:-}" ]; then
  echo "run: no X display (DISPLAY is not set); start one, e.g. 'Xvfb :1 &' and DISPLAY=:1." >&2
  exit 1
fi
if [ $# -gt 0 ]; then
  # Wine shows the Linux file system as drive Z:.
  file=$(realpath -m -- "$1")
  exec "$root/scripts/wine-run.sh" "$exe" "Z:${file//\//\\}"
fi
exec "$root/scripts/wine-run.sh" "$exe"
