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
# relay trace of MessageBoxW in $work/trace; sets $rc and $box.
restore() {
  mkdir -p "$work/elsewhere"
  (cd "$work/elsewhere" && WINEDEBUG=-all,+relay "$runner" "$(winpath "$1")" 2>"$work/trace" >/dev/null)
  rc=$?
  box=$(grep -a 'Call user32.MessageBoxW(' "$work/trace" | head -1)
}

# flip_byte FILE OFFSET: inverts one byte, so that the file surely changes.
flip_byte() {
  local b; b=$(od -An -tu1 -j "$2" -N1 "$1")
  printf "\\$(printf %o $((b ^ 255)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

listing() { (cd "$1" && ls -A | LC_ALL=C sort | tr '\n' ' '); }

# expect_refusal DIR PROGRAM MESSAGE [DETAIL]: exit code 1, the message box
# as the restore program shows it (the fixed text, then DETAIL on a second
# line when given), and the directory unchanged.
expect_refusal() {
  local dir=$1 exe=$2 message=$3 detail=${4:-} before text
  before=$(listing "$dir")
  restore "$dir/$exe"
  [ "$rc" = 1 ] || fail "$message $detail: exit code $rc, expected 1"
  local caption
  caption=$(winpath "$dir/$exe"); caption=${caption//\\/\\\\}
  text=$message
  [ -n "$detail" ] && text="$message\\n$detail"
  case $box in
    *"(00000000,"*"L\"$text\","*"L\"$caption\",00000030)"*) ;;
    *"(00000000,"*"L\"$text\\n"*"L\"$caption\",00000030)"*) [ -z "$detail" ] || fail "$text: box was: $box" ;;
    *) fail "$message $detail: message box was: ${box:-none} ($(wc -l < "$work/trace") trace lines, the last: $(tail -n 3 "$work/trace" | cut -c1-200))" ;;
  esac
  [ "$(listing "$dir")" = "$before" ] || fail "$message: the directory changed: $(listing "$dir")"
}

echo "round trip from another current directory, over 500 pieces"
mkdir "$work/a"
head -c 620000 /dev/urandom > "$work/a/report.final.pdf"
cp "$work/a/report.final.pdf" "$work/source"
split_set "$work/a" report.final.pdf 1
cmp -s -n "$(stat -c %s "$program")" "$program" "$work/a/report.exe" ||
  fail "the restore program written does not begin with the built one"
[ "$(tail -c 8 "$work/a/report.exe")" = $'MORSELA\x1a' ] || fail "the restore program carries no manifest"
[ -f "$work/a/report#.620" ] || fail "expected 621 pieces"
rm "$work/a/report.final.pdf"
restore "$work/a/report.exe"
[ "$rc" = 0 ] || fail "restore exit code $rc"
[ -z "$box" ] || fail "a message after a restore: $box"
cmp -s "$work/source" "$work/a/report.final.pdf" || fail "restored file differs"
[ ! -e "$work/elsewhere/report.final.pdf" ] || fail "output written into the current directory"
[ "$(ls -A "$work/a" | wc -l)" = 624 ] || fail "more than pieces, program, page and file: $(ls -A "$work/a" | grep -v '#')"

echo "started through a relative path; an existing file is replaced"
echo "older file" > "$work/a/report.final.pdf"
(cd "$work" && "$runner" 'a\report.exe' >/dev/null 2>&1); rc=$?
[ "$rc" = 0 ] || fail "relative start: exit code $rc"
cmp -s "$work/source" "$work/a/report.final.pdf" || fail "relative start: file not replaced"

echo "refusals of a set whose manifest the program carries"
mkdir "$work/b"
head -c 5000 /dev/urandom > "$work/b/m.avi"
split_set "$work/b" m.avi 1      # m#.0 to m#.4 of 1,000 bytes, m#.5 of 6
echo "an older file" > "$work/b/m.avi"
mv "$work/b/m#.5" "$work/last"
expect_refusal "$work/b" m.exe "File Not Found !" "m#.5"
mv "$work/last" "$work/b/m#.5"
cp "$work/b/m#.2" "$work/keep2"
cp "$work/b/m#.3" "$work/keep3"
flip_byte "$work/b/m#.2" 500
expect_refusal "$work/b" m.exe "Split File Damaged !" "m#.2"
cp "$work/keep2" "$work/b/m#.2"
printf 'x' >> "$work/b/m#.3"
expect_refusal "$work/b" m.exe "Split File Damaged !" "m#.3"
truncate -s 999 "$work/b/m#.3"
expect_refusal "$work/b" m.exe "Split File Damaged !" "m#.3"
cp "$work/keep3" "$work/b/m#.2"
cp "$work/keep2" "$work/b/m#.3"
expect_refusal "$work/b" m.exe "Split File Damaged !" "m#.2, m#.3"   # two pieces swapped
mkdir "$work/other"
head -c 5000 /dev/urandom > "$work/other/m.doc"
split_set "$work/other" m.doc 1
cp "$work/keep2" "$work/b/m#.2"
cp "$work/other/m#.3" "$work/b/m#.3"
expect_refusal "$work/b" m.exe "Split File Damaged !" "m#.3"      # a piece of another split
[ "$(cat "$work/b/m.avi")" = "an older file" ] || fail "a refused restore touched the older file"

echo "a renamed program still finds its set; a cut-off one is refused"
mkdir "$work/d"
head -c 7000 /dev/urandom > "$work/d/movie.avi"
cp "$work/d/movie.avi" "$work/expected"
split_set "$work/d" movie.avi 2
rm "$work/d/movie.avi"
mv "$work/d/movie.exe" "$work/d/movie (1).exe"
restore "$work/d/movie (1).exe"
[ "$rc" = 0 ] || fail "renamed program: exit code $rc $box"
cmp -s "$work/expected" "$work/d/movie.avi" || fail "renamed program: wrong file"
rm "$work/d/movie.avi"
truncate -s -10 "$work/d/movie (1).exe"
expect_refusal "$work/d" "movie (1).exe" "Split File Damaged !" "movie (1).exe"

echo "without a manifest (the bare image) the rules by name hold"
mkdir "$work/c"
cp "$program" "$work/c/x.exe"
printf '..\\escaped.txt\0data' > "$work/c/x#.0"
expect_refusal "$work/c" x.exe "Invalid File Name !"
[ ! -e "$work/escaped.txt" ] || fail "a stored name led out of the directory"
printf 'x#.0\0data' > "$work/c/x#.0"
expect_refusal "$work/c" x.exe "Invalid File Name !"
cp "$program" "$work/c/other.exe"
expect_refusal "$work/c" other.exe "No Split File Found !"

echo "two restores at once in one folder"
mkdir "$work/e"
head -c 60000000 /dev/urandom > "$work/e/twice.bin"
cp "$work/e/twice.bin" "$work/expected"
split_set "$work/e" twice.bin 5000
rm "$work/e/twice.bin"
(cd / && "$runner" "$(winpath "$work/e/twice.exe")" >/dev/null 2>&1; echo $? > "$work/rc1") &
(cd / && "$runner" "$(winpath "$work/e/twice.exe")" >/dev/null 2>&1; echo $? > "$work/rc2") &
wait
for r in rc1 rc2; do
  case $(cat "$work/$r") in 0|1) ;; *) fail "two at once: exit code $(cat "$work/$r")" ;; esac
done
cmp -s "$work/expected" "$work/e/twice.bin" || fail "two at once: the file is not the one split"
ls "$work/e" | grep -q '~morsela' && fail "two at once: a temporary file stayed"

echo "names in several scripts, split and restored under their names"
mkdir "$work/u"
long_name=$(printf 'ж%.0s' $(seq 120)).txt   # 121 UTF-16 units, 244 bytes: the most Linux allows
for name in 'Отчёт за год.txt' 'αβγ δ.pdf' '日本語の文書.doc' 'Café Ärger.avi' '😀 smile.bin' "$long_name"; do
  head -c 2500 /dev/urandom > "$work/u/$name"
  cp "$work/u/$name" "$work/expected"
  split_set "$work/u" "$name" 1
  rm "$work/u/$name"
  restore "$work/u/${name%%.*}.exe"
  [ "$rc" = 0 ] || fail "$name: exit code $rc $box"
  cmp -s "$work/expected" "$work/u/$name" || fail "$name: not rebuilt under its name: $(ls "$work/u" | grep -v '#' | tr '\n' ' ')"
  rm -f "$work/u/"*
done

echo "names from older sets: a header in the legacy code page of the splitter's user"
mkdir "$work/l"
cp "$program" "$work/l/l.exe"
legacy() { # LOCALE HEADER_BYTES EXPECTED_NAME
  printf "$2"'\0data' > "$work/l/l#.0"
  (cd / && LANG=$1 LC_ALL=$1 "$runner" "$(winpath "$work/l/l.exe")" >/dev/null 2>&1) || fail "$3 under $1: exit code $?"
  [ "$(cat "$work/l/$3" 2>/dev/null)" = data ] || fail "$3 under $1: the folder holds $(ls "$work/l" | tr '\n' ' ')"
  rm -f "$work/l/$3"
}
legacy fr_FR.UTF-8 'caf\xe9.txt' 'café.txt'
legacy ru_RU.UTF-8 '\xef\xf0\xe8\xe2\xe5\xf2.txt' 'привет.txt'
legacy ru_RU.UTF-8 '\xd0\xb6.txt' 'ж.txt'   # UTF-8 stays UTF-8 whatever the locale

echo "a split and a restore in a folder whose path is over 300 characters"
deep=$work/long
for part in aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb \
            ccccccccccccccccccccccccccccccccccccccccccccccccc ddddddddddddddddddddddddddddddddddddddddddddddddd \
            eeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeee fffffffffffffffffffffffffffffffffffffffffffffffff; do
  deep=$deep/$part
done
mkdir -p "$deep"
[ "$(winpath "$deep" | wc -c)" -gt 300 ] || fail "the deep folder is not deep enough"
head -c 30000 /dev/urandom > "$deep/deep.bin"
cp "$deep/deep.bin" "$work/expected"
split_set "$deep" deep.bin 10
rm "$deep/deep.bin"
restore "$deep/deep.exe"
[ "$rc" = 0 ] || fail "a restore in a deep folder: exit code $rc $box"
cmp -s "$work/expected" "$deep/deep.bin" || fail "a restore in a deep folder: wrong file"
# Started through a path already in the system's long form, "\\?\".
rm "$deep/deep.bin"
(cd / && "$runner" "\\\\?\\$(winpath "$deep/deep.exe")" >/dev/null 2>&1); rc=$?
[ "$rc" = 0 ] || fail "a restore started as \\?\...: exit code $rc"
cmp -s "$work/expected" "$deep/deep.bin" || fail "a restore started as \\?\...: wrong file"

echo "a signed restore program stays signed, restores its set and refuses a damaged piece"
mkdir "$work/s"
cp "$program" "$work/signed.exe"
bash "$(dirname "${BASH_SOURCE[0]}")/support/throwaway_signer.sh" "$work/keys" "$work/signed.exe" ||
  fail "openssl or osslsigncode could not sign"
head -c 30000 /dev/urandom > "$work/s/photo.jpg"
cp "$work/s/photo.jpg" "$work/expected"
"$runner" "$split" "$(winpath "$work/s/photo.jpg")" 10 "$(winpath "$work/signed.exe")" || fail "split with a signed program"
osslsigncode verify -CAfile "$work/keys/ca.pem" -in "$work/s/photo.exe" >"$work/verify" 2>&1 ||
  fail "the signature of the restore program written does not verify: $(tail -n 3 "$work/verify")"
tail -c 40 "$work/s/photo.exe" | grep -q MORSELA && fail "the description follows the signature"
rm "$work/s/photo.jpg"
restore "$work/s/photo.exe"
[ "$rc" = 0 ] || fail "signed program: exit code $rc $box"
cmp -s "$work/expected" "$work/s/photo.jpg" || fail "signed program: restored file differs"
rm "$work/s/photo.jpg"
flip_byte "$work/s/photo#.1" 100
expect_refusal "$work/s" photo.exe "Split File Damaged !" "photo#.1"

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
