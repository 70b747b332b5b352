#!/usr/bin/env bash
# The restore program's window under Wine, on an X display. A set of 8 GiB
# made by hand as a split without a set description leaves it (pieces of
# holes but for the name header, so nothing is read from the disk) takes
# seconds to restore: its window appears, titled with the stored name, and
# Esc, its Cancel button (space, as it has the focus) and Alt+F4 (the close
# box) each stop the restore with exit code 2, leaving the folder as it was;
# so does the end of the session, as END_SESSION sends it.
#   restore_window.sh RESTORE_PROGRAM END_SESSION
# Needs DISPLAY and MORSELA_WINEPREFIX (see with_display.sh).
set -u
program=$1 end_session=$2
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
runner=$root/scripts/wine-run.sh
work=$(mktemp -d /tmp/morsela-restore-window.XXXXXX)
app=
finish() {
  [ -n "$app" ] && kill "$app" 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
winpath() { echo "Z:${1//\//\\}"; }
listing() { (cd "$1" && ls -A | LC_ALL=C sort | tr '\n' ' '); }

mkdir "$work/big"
cp "$program" "$work/big/big.exe"
printf 'big.iso\0' >"$work/big/big#.0"
for k in 0 1 2 3 4 5 6 7; do truncate -s 1G "$work/big/big#.$k"; done
before=$(listing "$work/big")
for key in Escape space alt+F4; do
  "$runner" "$(winpath "$work/big/big.exe")" >/dev/null 2>&1 </dev/null &
  app=$!
  window=
  for _ in $(seq 200); do
    window=$(xdotool search --onlyvisible --name '^big\.iso - Restoring$' 2>/dev/null | head -n1)
    [ -n "$window" ] && break
    sleep 0.05
  done
  if [ -n "$window" ]; then
    # Keys go nowhere until the window has the focus.
    for _ in $(seq 50); do xdotool windowfocus "$window" 2>/dev/null && break; sleep 0.1; done
    sleep 0.2
    xdotool key "$key"
  else
    fail "$key: no window appeared"
    kill "$app"
  fi
  wait "$app"
  rc=$?
  app=
  [ "$rc" = 2 ] || fail "$key: exit code $rc, expected 2"
  [ "$(listing "$work/big")" = "$before" ] || fail "$key: the folder holds $(listing "$work/big")"
done

# The session ends: the program says it may, and ends only once the
# temporary file is gone.
"$runner" "$(winpath "$work/big/big.exe")" >/dev/null 2>&1 </dev/null &
app=$!
ended=$("$runner" "$end_session" 'big.iso - Restoring' </dev/null 2>/dev/null | tr -d '\r')
wait "$app"
app=
[ "$ended" = "answer 1 exit 2" ] || fail "end of the session: $ended"
[ "$(listing "$work/big")" = "$before" ] || fail "end of the session: the folder holds $(listing "$work/big")"

if [ "$failures" -ne 0 ]; then echo "$failures failures"; exit 1; fi
echo "all passed"
