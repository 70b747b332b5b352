#!/usr/bin/env bash
# End-to-end tests of the real restore program under Wine: piece sets made by
# the split engine with the built restore program, which is then started
# from elsewhere, as a recipient would, and its output, exit code and message
# box (text, caption and flags, read from Wine's relay trace) are checked.
#   restore_e2e.sh SPLIT_DRIVER RESTORE_PROGRAM RUNNER
set -u
split=$1 program=$2 runner=$3
work=$(mktemp -d /tmp/morsela-e2e.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
winpath() { echo "Z:${1//\//\\}"; }

# split_set DIR NAME SIZE_KB: splits DIR/NAME with the real restore program.
split_set() { "$runner" "$split" "$(winpath "$1/$2")" "$3" "$(winpath "$program")" || fail "split of $2"; }

# restore PROGRAM_PATH: runs it from another current directory, with the
# relay trace of MessageBoxA in $work/trace; sets $rc and $box.
restore() {
  mkdir -p "$work/elsewhere"
  (cd "$work/elsewhere" && WINEDEBUG=-all,+relay "$runner" "$(winpath "$1")" 2>"$work/trace" >/dev/null)
  rc=$?
  box=$(grep -a 'Call user32.MessageBoxA(' "$work/trace" | head -1)
}

listing() { (cd "$1" && ls -A | LC_ALL=C sort | tr '\n' ' '); }

# expect_refusal DIR PROGRAM MESSAGE: exit code 1, the message box as the
# restore program shows it, and the directory unchanged.
expect_refusal() {
  local dir=$1 exe=$2 message=$3 before
  before=$(listing "$dir")
  restore "$dir/$exe"
  [ "$rc" = 1 ] || fail "$message: exit code $rc, expected 1"
  local caption
  caption=$(winpath "$dir/$exe"); caption=${caption//\\/\\\\}
  case $box in
    *"(00000000,"*"\"$message\","*"\"$caption\",00000030)"*) ;;
    *) fail "$message: message box was: ${box:-none}" ;;
  esac
  [ "$(listing "$dir")" = "$before" ] || fail "$message: the directory changed: $(listing "$dir")"
}

echo "round trip from another current directory, over 500 pieces"
mkdir "$work/a"
head -c 620000 /dev/urandom > "$work/a/report.final.pdf"
cp "$work/a/report.final.pdf" "$work/source"
split_set "$work/a" report.final.pdf 1
cmp -s "$program" "$work/a/report.exe" || fail "the restore program written is not the built one"
[ -f "$work/a/report#.620" ] || fail "expected 621 pieces"
rm "$work/a/report.final.pdf"
restore "$work/a/report.exe"
[ "$rc" = 0 ] || fail "restore exit code $rc"
[ -z "$box" ] || fail "a message after a restore: $box"
cmp -s "$work/source" "$work/a/report.final.pdf" || fail "restored file differs"
[ ! -e "$work/elsewhere/report.final.pdf" ] || fail "output written into the current directory"
[ "$(ls -A "$work/a" | wc -l)" = 623 ] || fail "more than pieces, program and file: $(ls -A "$work/a" | grep -v '#')"

echo "started through a relative path; an existing file is replaced"
echo "older file" > "$work/a/report.final.pdf"
(cd "$work" && "$runner" 'a\report.exe' >/dev/null 2>&1); rc=$?
[ "$rc" = 0 ] || fail "relative start: exit code $rc"
cmp -s "$work/source" "$work/a/report.final.pdf" || fail "relative start: file not replaced"

echo "refusals"
mkdir "$work/b"
head -c 5000 /dev/urandom > "$work/b/m.avi"
split_set "$work/b" m.avi 1
rm "$work/b/m.avi"
mv "$work/b/m#.2" "$work/gap"
expect_refusal "$work/b" m.exe "File Not Found !"
mv "$work/gap" "$work/b/m#.2"
truncate -s 500 "$work/b/m#.1"
expect_refusal "$work/b" m.exe "Split File Damaged !"
mv "$work/b/m.exe" "$work/b/other.exe"
expect_refusal "$work/b" other.exe "No Split File Found !"

mkdir "$work/c"
cp "$program" "$work/c/x.exe"
printf '..\\escaped.txt\0data' > "$work/c/x#.0"
expect_refusal "$work/c" x.exe "Invalid File Name !"
[ ! -e "$work/escaped.txt" ] || fail "a stored name led out of the directory"
printf 'x#.0\0data' > "$work/c/x#.0"
expect_refusal "$work/c" x.exe "Invalid File Name !"

echo "random round trips"
for round in 1 2 3 4 5 6; do
  dir=$work/r$round
  mkdir "$dir"
  names=(a.txt archive.tar.gz noext .hidden x.y.z data.bin)
  name=${names[$((round % ${#names[@]}))]}
  size_kb=$((1 + RANDOM % 5))
  length=$((1000 + RANDOM * 3 % 40000))
  head -c "$length" /dev/urandom > "$dir/$name"
  cp "$dir/$name" "$work/expected"
  split_set "$dir" "$name" "$size_kb"
  base=""  # up to the first dot; none without a dot (program ".exe")
  case $name in *.*) base=${name%%.*} ;; esac
  rm "$dir/$name"
  restore "$dir/$base.exe"
  [ "$rc" = 0 ] || fail "round $round ($name, $length bytes, $size_kb KB): exit code $rc ${box}"
  cmp -s "$work/expected" "$dir/$name" || fail "round $round ($name, $length bytes, $size_kb KB): differs"
done

if [ "$failures" -ne 0 ]; then echo "$failures failures"; exit 1; fi
echo "all passed"
