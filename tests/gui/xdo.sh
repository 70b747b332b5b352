# Helpers of the scripts that drive a program's windows with xdotool on an
# X display. The script that sources this has defined fail() and $work, its
# folder; it puts the program it starts in $app. Both go at the exit.
app=
finish() {
  [ -n "$app" ] && kill "$app" 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT

# Keys reach a window only once it has the focus; a window just created may
# not take it yet.
focus() {
  for _ in $(seq 50); do
    xdotool windowfocus "$1" 2>/dev/null && { sleep 0.3; return 0; }
    sleep 0.1
  done
  fail "cannot focus window $1"
}
find_window() { timeout 60 xdotool search --sync --name "$1" 2>/dev/null | head -n1; }
wait_gone() {
  for _ in $(seq 100); do
    [ -z "$(xdotool search --name "$1" 2>/dev/null)" ] && return 0
    sleep 0.1
  done
  fail "window '$1' stays open"
}
# split_expecting_box WINDOW WHAT: the split command in the main window
# WINDOW (from its first control, four Tabs reach it: the size field, the
# sizes for limits, the recovery pieces, the split command), then the
# message box
# captioned "Morsela" it must show, closed with its button; WHAT says what
# failed when no box comes.
split_expecting_box() {
  local box
  focus "$1"
  xdotool key Tab Tab Tab Tab space
  box=$(find_window '^Morsela$')
  [ -n "$box" ] || fail "$2"
  focus "$box"
  xdotool key space
  wait_gone '^Morsela$'
}
# answer_question KEY: the question a split asks before replacing files
# (a Yes/No box captioned "Morsela"), answered with KEY: y or n.
answer_question() {
  local box
  box=$(find_window '^Morsela$')
  [ -n "$box" ] || fail "no question came"
  focus "$box"
  sleep 1
  xdotool key "$1"
  wait_gone '^Morsela$'
}
# Esc in WINDOW (the main window, no split running) ends the program $app.
end_with_escape() {
  focus "$1"
  xdotool key Escape
  for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$app" 2>/dev/null && fail "the program did not end on Esc"
  wait "$app"
  app=
}
