#!/usr/bin/env bash
# A user's session with the real program on the test's X display: start with
# text on the clipboard, type, change the delay with the menu's keys, start a
# second copy, minimise and exit. Usage: typing_session.sh path/to/tamsel
set -euo pipefail

binary="$1"
work=$(mktemp -d)
pid=""
helpers=()
# Whatever step fails, every process this session started ends with it.
layout_changed=""
cleanup() {
  local p
  if [ -n "$layout_changed" ]; then setxkbmap us || true; fi
  for p in $pid "${helpers[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in $pid "${helpers[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
cp "$binary" "$(dirname "$binary")/tamsel-clipboard" "$work/"
preview="$work/tamsel.tex"
export QTWEBENGINE_DISABLE_SANDBOX=1

fail() { echo "FAIL: $*"; exit 1; }
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
content() { cat "$preview" 2>/dev/null || true; }
clipboard() { timeout 5 xclip -o -selection clipboard 2>/dev/null || true; }

# Puts text on the clipboard, served by an xclip of ours that stays in the
# foreground, so the session can end it.
set_clipboard() {
  printf '%s' "$1" | xclip -selection clipboard -quiet >/dev/null 2>&1 &
  helpers+=($!)
  wait_until "clipboard holds '$1'" 5000 "[ \"\$(clipboard)\" = '$1' ]"
}

# Waits until the shell condition holds, or fails after the limit.
wait_until() {
  local what="$1" limit_ms="$2" condition="$3" start
  start=$(now_ms)
  until eval "$condition"; do
    [ $(( $(now_ms) - start )) -lt "$limit_ms" ] || fail "waited in vain: $what"
    sleep 0.05
  done
}

# Waits until the preview file holds the wanted text; prints the milliseconds
# it took, or fails after the limit.
wait_for_preview() {
  local wanted="$1" limit_ms="$2" start
  start=$(now_ms)
  while [ "$(content)" != "$wanted" ]; do
    [ $(( $(now_ms) - start )) -lt "$limit_ms" ] || fail "preview is '$(content)', wanted '$wanted'"
    sleep 0.05
  done
  echo $(( $(now_ms) - start ))
}

# The preview must keep its text for the given time.
expect_unchanged() {
  local wanted="$1" for_ms="$2" start
  start=$(now_ms)
  while [ $(( $(now_ms) - start )) -lt "$for_ms" ]; do
    [ "$(content)" = "$wanted" ] || fail "preview changed to '$(content)' before the delay passed"
    sleep 0.05
  done
}

set_clipboard 'x'
"$work/tamsel" >"$work/log" 2>&1 &
pid=$!
wait_for_preview "x" 60000 >/dev/null
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Tamsel$' | head -n 1) || true
[ -n "$window" ] || fail "no window"
xdotool windowfocus --sync "$window" || true
wait_until "the window has the focus" 5000 '[ "$(xdotool getwindowfocus)" = "$window" ]' 
# Click into the editor (the upper part of the window) and go to the end.
xdotool mousemove --window "$window" 200 60 click 1
xdotool key End

echo "first start: five seconds although half a second is checked"
xdotool type --delay 30 '^2'
expect_unchanged "x" 4500
took=$(wait_for_preview "x^2" 4000)
echo "  refreshed about $(( 4500 + took )) ms after the last key"

echo "Ctrl+2: two seconds"
xdotool key ctrl+2
xdotool type 'y'
expect_unchanged "x^2" 1800
wait_for_preview "x^2y" 3000 >/dev/null

echo "Ctrl+Del: manual only; Ins refreshes at once"
xdotool key ctrl+Delete
xdotool type 'z'
expect_unchanged "x^2y" 3000
xdotool key Insert
took=$(wait_for_preview "x^2yz" 1000)
echo "  Ins refreshed after $took ms"

echo "Ctrl+Ins: immediately"
xdotool key ctrl+Insert
xdotool type 'w'
wait_for_preview "x^2yzw" 1000 >/dev/null

echo "French layout: Ctrl + the key that types & is Ctrl+1 (one second)"
setxkbmap fr
layout_changed=1
xdotool key ctrl+ampersand
xdotool type 'v'
expect_unchanged "x^2yzw" 800
took=$(wait_for_preview "x^2yzwv" 2000)
echo "  refreshed about $(( 800 + took )) ms after the last key"
setxkbmap us

echo "Esc copies the whole text to the clipboard"
xdotool key Escape
wait_until "clipboard holds the text, not '$(clipboard)'" 5000 '[ "$(clipboard)" = "x^2yzwv" ]' 

echo "a second start from another folder brings this one forward and ends with 1"
mkdir "$work/other"
cp "$binary" "$work/other/tamsel"
set_clipboard 'a+b'
set +e
timeout 60 "$work/other/tamsel" >"$work/other/log" 2>&1
code=$?
set -e
[ "$code" -eq 1 ] || fail "second start ended with $code"
[ ! -e "$work/other/tamsel.tex" ] || fail "the second copy wrote a preview file"
wait_for_preview "a+b" 5000 >/dev/null
echo "  the running copy restored and pasted the clipboard"

echo "Exit copies the text and ends the program with 0"
xdotool windowfocus --sync "$window" || true
xdotool key alt+f
# The drop-down is a window of its own.
wait_until "the File menu opens" 5000 '[ "$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | wc -l)" -gt 1 ]'
xdotool key x
set +e
timeout 30 tail --pid="$pid" -f /dev/null
wait "$pid"
code=$?
pid=""
set -e
[ "$code" -eq 0 ] || fail "program ended with $code"

echo "the text copied at the close outlives the program (no clipboard manager here)"
[ "$(clipboard)" = "a+b" ] || fail "clipboard holds '$(clipboard)' after the exit"
keeper=$(pgrep -f "^$work/tamsel-clipboard" || true)
[ -n "$keeper" ] || fail "no clipboard keeper runs"
# Copying in another program takes the clipboard over and ends the keeper
# (a keeper that has ended may wait a moment to be reaped).
set_clipboard 'other'
wait_until "the keeper ends" 5000 'case "$(ps -o stat= -p "$keeper")" in ""|Z*) true ;; *) false ;; esac'
echo "typing session: every step passed"
