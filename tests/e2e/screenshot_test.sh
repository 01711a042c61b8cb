#!/usr/bin/env bash
# End to end: the real program under Xvfb with openbox as window manager. It opens a
# picture, the screenshot must show its pixels and the title its path; Esc must end it
# and store the window placement.
set -euo pipefail
pavo=${1:?usage: screenshot_test.sh PATH_TO_PAVO}

work=$(mktemp -d)
display=":$((90 + RANDOM % 400))"
cleanup() {
  [ -n "${pavo_pid:-}" ] && kill "$pavo_pid" 2>/dev/null || true
  [ -n "${wm_pid:-}" ] && kill "$wm_pid" 2>/dev/null || true
  [ -n "${x_pid:-}" ] && kill "$x_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "e2e: $*" >&2; exit 1; }

Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
x_pid=$!
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
wm_pid=$!
sleep 0.5

# Left half red, right half blue.
picture="$work/pictures/red and blue.png"
mkdir -p "$work/pictures"
convert -size 200x150 xc:'#ff0000' -fill '#0000ff' -draw 'rectangle 100,0 199,149' "$picture"
# The folder's next image, plain green, taller.
convert -size 150x200 xc:'#00ff00' "$work/pictures/zz green.png"

export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
"$pavo" "$picture" &
pavo_pid=$!

window=$(timeout 20 xdotool search --sync --onlyvisible --name "red and blue" | head -n 1)
[ -n "$window" ] || fail "no window appeared"
title=$(xdotool getwindowname "$window")
[ "$title" = "$picture" ] || fail "title is '$title', expected '$picture'"

# The window manager may still be placing the window: look until the picture shows
# (at most ten seconds), then judge the last screenshot.
pixel() { convert "$work/shot.png" -crop "1x1+$1+$2" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}' | head -n 1; }
for _ in $(seq 20); do
  sleep 0.5
  eval "$(xdotool getwindowgeometry --shell "$window")"  # X, Y, WIDTH, HEIGHT of the client
  import -window root "$work/shot.png"
  middle=$((Y + HEIGHT / 2))
  left=$(pixel $((X + 20)) "$middle")
  right=$(pixel $((X + WIDTH - 20)) "$middle")
  [ "$left" = "#FF0000" ] && [ "$right" = "#0000FF" ] && break
done
[ "$left" = "#FF0000" ] || fail "left of the image shows $left, expected red"
[ "$right" = "#0000FF" ] || fail "right of the image shows $right, expected blue"
[ "$HEIGHT" -gt 700 ] || fail "fit to screen should make the window tall, it is $HEIGHT high"

# Keys go to the focused window: activate it and wait for the focus first, then type
# real key events (xdotool's --window would send synthetic ones to a window that may
# not have the focus yet).
press() {
  for _ in $(seq 50); do
    xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
    [ "$(xdotool getactivewindow 2>/dev/null)" = "$window" ] && break
    sleep 0.1
  done
  [ "$(xdotool getactivewindow 2>/dev/null)" = "$window" ] || fail "the window never took the focus"
  xdotool key "$1"
}

# The right arrow steps to the next image of the folder.
press Right
for _ in $(seq 20); do
  sleep 0.5
  title=$(xdotool getwindowname "$window")
  eval "$(xdotool getwindowgeometry --shell "$window")"
  import -window root "$work/shot.png"
  centre=$(pixel $((X + WIDTH / 2)) $((Y + HEIGHT / 2)))
  [ "$title" = "$work/pictures/zz green.png" ] && [ "$centre" = "#00FF00" ] && break
done
[ "$title" = "$work/pictures/zz green.png" ] || fail "Right did not step on: the title is '$title'"
[ "$centre" = "#00FF00" ] || fail "after the step the centre shows $centre, expected green"

press Escape
for _ in $(seq 100); do kill -0 "$pavo_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pavo_pid" 2>/dev/null; then fail "Esc did not end the program"; fi
wait "$pavo_pid" || fail "the program ended with an error code"
pavo_pid=
grep -q '"posX"=dword:' "$XDG_CONFIG_HOME/Pavo/settings.reg" || fail "the placement was not stored"
echo "e2e: first image red/blue ($left, $right), Right stepped to the green one ($centre), window ${WIDTH}x${HEIGHT}, placement stored"
