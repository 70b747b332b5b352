#!/usr/bin/env bash
# Morsela.exe as a person uses it, through the keyboard on an X display:
# "Choose a File", a path typed into the open-file dialog, Tab to the size
# field, a size, Tab past the sizes for limits to the recovery pieces (Down
# twice: two), Tab to "Split Current File", press it; then the pieces, the
# recovery pieces and
# the restore program and the restore page on disk are checked, a
# screenshot is taken, and with one piece deleted and another altered the
# restore program written beside them rebuilds the file, saying so in its
# window, and so does the restore page in headless Chromium and Firefox.
#   end_to_end.sh MORSELA_EXE RESTORE_IMAGE SCREENSHOT_PNG
# Needs DISPLAY and MORSELA_WINEPREFIX (see with_display.sh).
set -u
exe=$1 image=$2 shot=$3
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=/tmp/morsela-e2e-$$
mkdir -p "$work"
fail() { echo "end_to_end: $*" >&2; exit 1; }
source "$root/tests/gui/xdo.sh"

head -c 2500000 /dev/urandom >"$work/Movie.AVI"

# The list's trace shows the texts it draws.
WINEDEBUG=+listview "$root/scripts/wine-run.sh" "$exe" >/dev/null 2>"$work/trace" </dev/null &
app=$!
main=$(find_window '^Morsela by Quellin Studio')
[ -n "$main" ] || fail "the main window did not appear"

# The focus starts on "Choose a File"; space presses a push button (Return
# would end the dialog, which has no default button). First the split
# command with nothing chosen: its message box is captioned "Morsela".
split_expecting_box "$main" "no message box captioned Morsela"
focus "$main"
xdotool key shift+Tab shift+Tab shift+Tab shift+Tab space
open=$(find_window '^Open$')
[ -n "$open" ] || fail "the open-file dialog did not appear"
focus "$open"
xdotool type --delay 10 "Z:$(echo "$work" | tr / '\\')\\Movie.AVI"
xdotool key Return
wait_gone '^Open$'

# Tab selects the size field's "100"; End keeps it and a 0 makes it 1000 KB,
# without passing through a size below 10. Tab goes on past the sizes for
# limits to the recovery pieces, where Down chooses one and the preview
# draws its name, and a second Down two.
focus "$main"
xdotool key Tab End
xdotool type 0
xdotool key Tab Tab Down
for _ in $(seq 50); do grep -q 'DrawItem.*pszText=L"movie#\.r1"' "$work/trace" && break; sleep 0.1; done
grep -q 'DrawItem.*pszText=L"movie#\.r1"' "$work/trace" || fail "Tab and Down did not list movie#.r1"
xdotool key Down
for _ in $(seq 50); do grep -q 'DrawItem.*pszText=L"movie#\.r2"' "$work/trace" && break; sleep 0.1; done
grep -q 'DrawItem.*pszText=L"movie#\.r2"' "$work/trace" || fail "a second Down did not list movie#.r2"
rm "$work/trace"  # out of the listing; the program writes on into the removed file
xdotool key Tab space

for _ in $(seq 200); do [ -f "$work/movie.exe" ] && break; sleep 0.1; done
sleep 0.5
import -window root "$shot" || fail "no screenshot"

expected="Movie.AVI movie#.0 movie#.1 movie#.2 movie#.r1 movie#.r2 movie.exe movie.restore.html"
actual=$(cd "$work" && ls | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')
[ "$actual" = "$expected" ] || fail "files: '$actual', expected '$expected'"
for piece in 0 1; do
  [ "$(stat -c %s "$work/movie#.$piece")" = 1000000 ] || fail "movie#.$piece is not 1,000,000 bytes"
done
[ "$(stat -c %s "$work/movie#.2")" = 500010 ] || fail "movie#.2 is not 500,010 bytes"
[ "$(head -c 10 "$work/movie#.0" | od -An -c | tr -s ' ')" = " m o v i e . a v i \0" ] ||
  fail "the head piece does not begin with the name header"
cat "$work/movie#.0" "$work/movie#.1" "$work/movie#.2" | tail -c +11 | cmp -s - "$work/Movie.AVI" ||
  fail "the pieces do not hold the source"
# The restore program: the embedded image, then the set's description.
cmp -s -n "$(stat -c %s "$image")" "$work/movie.exe" "$image" || fail "the restore program is not the embedded image"

# Esc closes the window and ends the program.
end_with_escape "$main"

# The restore program the split wrote rebuilds the file in its place, one
# piece deleted and another altered, and tells of that in its window (no
# message box), which Esc closes.
mv "$work/Movie.AVI" "$work/original"
rm "$work/movie#.1"
b=$(od -An -tu1 -j 4000 -N1 "$work/movie#.2")   # inverted, so that it surely changes
printf "\\$(printf %o $((b ^ 255)))" | dd of="$work/movie#.2" bs=1 seek=4000 conv=notrunc 2>/dev/null
mkdir "$work/received"
cp "$work"/movie#.* "$work/movie.exe" "$work/movie.restore.html" "$work/received/"
(cd / && "$root/scripts/wine-run.sh" "Z:${work//\//\\}\\movie.exe" >/dev/null 2>&1) &
app=$!
told=$(find_window '^movie\.avi - Restored$')
[ -n "$told" ] || fail "the restore program did not tell of the rebuild in its window"
import -window root "${shot%.png}-rebuilt.png" || fail "no screenshot of the rebuild"
focus "$told"
xdotool key Escape
wait "$app" || fail "the restore program that rebuilt two pieces failed"
app=
cmp -s "$work/movie.avi" "$work/original" || fail "the rebuilt file differs from the source"
# The page the window wrote, in the browsers (the recipient chooses every
# file received; the Wine prefix plays no part).
node "$root/tests/browser/own_page.mjs" "$work/received" movie.restore.html "$work/original" chromium firefox ||
  fail "the restore page did not restore the set"

# Another file with the same base name, passed as Morsela.exe's argument:
# its split would replace the set of movie.avi, so the window asks first.
# No (the key n) keeps every file; Yes (y) replaces the set.
head -c 150000 /dev/urandom >"$work/movie.mkv"  # two pieces at the 100 KB of the start
sums() { (cd "$work" && md5sum movie#.* movie.exe); }
before=$(sums)
"$root/scripts/wine-run.sh" "$exe" "Z:${work//\//\\}\\movie.mkv" >/dev/null 2>&1 </dev/null &
app=$!
main=$(find_window '^Morsela by Quellin Studio')
[ -n "$main" ] || fail "the main window did not appear with a path"
focus "$main"
xdotool key Tab Tab Tab Tab space   # from "Choose a File" to the split command
answer_question n
[ "$(sums)" = "$before" ] || fail "No to the question changed the files"
focus "$main"
xdotool key space   # the focus came back to the split command
answer_question y
# The split goes on after the box: its last step removes the stale piece.
for _ in $(seq 100); do
  actual=$(cd "$work" && ls | grep -v -e '^Movie.AVI$' -e '^original$' -e '^received$' | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')
  [ "$actual" = "movie#.0 movie#.1 movie.avi movie.exe movie.mkv movie.restore.html" ] && break
  sleep 0.1
done
[ "$actual" = "movie#.0 movie#.1 movie.avi movie.exe movie.mkv movie.restore.html" ] || fail "after Yes: '$actual'"
end_with_escape "$main"
cat "$work/movie#.0" "$work/movie#.1" | tail -c +11 | cmp -s - "$work/movie.mkv" ||
  fail "after Yes the pieces do not hold movie.mkv"

# Morsela.exe restores the set too, given one of its pieces: with the
# restore program beside it (its manifest read, not run), then without.
mv "$work/movie.mkv" "$work/expected.mkv"
restore_with() { # PIECE WHAT
  "$root/scripts/wine-run.sh" "$exe" "Z:${work//\//\\}\\$1" >/dev/null 2>&1 </dev/null &
  app=$!
  main=$(find_window '^Morsela by Quellin Studio')
  [ -n "$main" ] || fail "$2: the main window did not appear"
  focus "$main"
  xdotool key Tab Tab space   # from "Choose a File" to "Restore File" (the two lists disabled)
  for _ in $(seq 100); do [ -f "$work/movie.mkv" ] && break; sleep 0.1; done
  sleep 0.5
  end_with_escape "$main"
  cmp -s "$work/movie.mkv" "$work/expected.mkv" || fail "$2: the restored file differs"
  rm -f "$work/movie.mkv"
}
restore_with 'movie#.1' "a restore through the window"
mv "$work/movie.exe" "$work/program.bin"
restore_with 'movie#.0' "a restore through the window without the restore program"

# A size for a limit, chosen through the keyboard: Tab to the size field,
# Tab to the list beside it, Down to "Mail (25 MB)", which writes 18266 into
# the field; then past the recovery pieces to the split command.
truncate -s 20000000 "$work/mail.bin"
"$root/scripts/wine-run.sh" "$exe" "Z:${work//\//\\}\\mail.bin" >/dev/null 2>&1 </dev/null &
app=$!
main=$(find_window '^Morsela by Quellin Studio')
[ -n "$main" ] || fail "the main window did not appear for the mail preset"
focus "$main"
xdotool key Tab Tab Down
sleep 0.3
xdotool key Tab Tab space
for _ in $(seq 100); do [ -f "$work/mail.restore.html" ] && break; sleep 0.1; done
sleep 0.5
end_with_escape "$main"
[ "$(stat -c %s "$work/mail#.0")" = 18266000 ] || fail "the mail preset did not give pieces of 18,266,000 bytes"
[ "$(stat -c %s "$work/mail#.1")" = $((20000000 + 9 - 18266000)) ] || fail "the mail preset's last piece is wrong"
[ ! -e "$work/mail#.2" ] || fail "the mail preset gave more than two pieces"

echo "end_to_end: pieces, recovery pieces, restore program and page, rebuilt file (program and page), question, restores, a mail preset and screenshots ($shot) are right"
