#!/usr/bin/env bash
# Ctrl+C during a large split on the command line: the split stops, every
# file it wrote is removed, the source stays, and the exit code is 2.
#   cli_interrupt.sh MORSELA
set -u
bin=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "cli_interrupt: $*" >&2; exit 1; }

truncate -s 3G "$work/big.bin"
"$bin" split "$work/big.bin" --size 10MB --recovery 1 </dev/null >"$work/out" 2>"$work/err" &
pid=$!
for _ in $(seq 200); do [ -e "$work/big#.2" ] && break; sleep 0.05; done
[ -e "$work/big#.2" ] || fail "the split wrote no third piece in 10 s"
kill -INT "$pid"
wait "$pid"
code=$?
[ "$code" -eq 2 ] || fail "exit code $code, not 2 ($(cat "$work/err"))"
left=$(cd "$work" && ls | grep -v -x -e big.bin -e out -e err)
[ -z "$left" ] || fail "files left: $left"
[ "$(stat -c %s "$work/big.bin")" -eq $((3 << 30)) ] || fail "the source changed"
grep -qx "Split stopped: its files were removed." "$work/out" || fail "outcome: $(cat "$work/out")"
echo "stopped with exit code 2, nothing left"
