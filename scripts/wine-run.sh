#!/usr/bin/env bash
# Runs a Windows program under Wine in the private prefix of the build
# (MORSELA_WINEPREFIX, or build/windows/wineprefix), never a user's own.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${MORSELA_WINEPREFIX:-$here/build/windows/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w
fi
# "--wineserver ARGS" talks to the prefix's wineserver instead.
if [ "${1:-}" = "--wineserver" ]; then shift; exec wineserver "$@"; fi
exec wine "$@"
