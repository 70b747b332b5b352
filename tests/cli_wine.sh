#!/usr/bin/env bash
# Morsela.com under Wine, with a name outside ASCII: a split with a recovery
# piece, a restore of the set with a piece lost, and the exit codes and
# lines of outcome a script reads.
#   cli_wine.sh MORSELA_COM
set -u
com=$1
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "cli_wine: $*" >&2; exit 1; }
run() { (cd "$work" && LANG=C.UTF-8 "$root/scripts/wine-run.sh" "$com" "$@" </dev/null); }

name='Ünïcødé файл.bin'
head -c 2500000 /dev/urandom >"$work/$name"
cp "$work/$name" "$work/original"
out=$(run split "$name" --size 1MB --recovery 1) || fail "split: exit code $?"
[ "$out" = "Done: 3 pieces, 1 recovery piece, the restore program Ünïcødé файл.exe and the restore page Ünïcødé файл.restore.html written." ] ||
  fail "split said: $out"
for f in '#.0' '#.1' '#.2' '#.r1' '.exe' '.restore.html'; do [ -f "$work/Ünïcødé файл$f" ] || fail "no Ünïcødé файл$f"; done
rm "$work/$name" "$work/Ünïcødé файл#.1"
out=$(run restore 'Ünïcødé файл#.2') || fail "restore: exit code $?"
[ "$out" = "Restored Ünïcødé файл.bin: 2,500,000 bytes, every piece checked; 1 piece rebuilt from recovery data." ] ||
  fail "restore said: $out"
cmp -s "$work/$name" "$work/original" || fail "the restored file differs"
run restore 'Ünïcødé файл#.9' >/dev/null 2>&1
code=$?
[ "$code" -eq 1 ] || fail "a file of no set: exit code $code, not 1"
run split >/dev/null 2>&1
code=$?
[ "$code" -eq 7 ] || fail "no file: exit code $code, not 7"
echo "split and restore through Morsela.com"
