#!/usr/bin/env bash
# Installs what is missing, builds both builds and runs every test: the
# native ones, then the Windows ones under Wine (with Xvfb for the window).
# Exits non-zero on any failure.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/setup.sh"

# Message boxes must return at once in the tests that do not drive a window.
unset DISPLAY

status=0
bash "$root/scripts/build.sh" native
(cd "$root/build/native" && ctest --output-on-failure -j2) || status=1

bash "$root/scripts/build.sh" windows
export MORSELA_WINEPREFIX=$root/build/windows/wineprefix
# One persistent wineserver, with its system processes, started apart from
# CTest's output pipes (CTest would wait for them) and ended at the close.
"$root/scripts/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 </dev/null || true
"$root/scripts/wine-run.sh" --wineserver -p >/dev/null 2>&1 </dev/null || true
"$root/scripts/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 </dev/null || true
(cd "$root/build/windows" && ctest --output-on-failure -j2) || status=1
"$root/scripts/wine-run.sh" --wineserver -k 2>/dev/null || true

exit $status
