#!/usr/bin/env bash
# End to end: the real program under Xvfb with openbox as window manager. It opens a
# picture, the screenshot must show its pixels and the title its path; Right must step to
# the folder's next picture; Esc must end it and store the window placement.
# Usage: screenshot_test.sh PATH_TO_PAVO
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
source "$here/lib.sh"
e2e_init "${1:?usage: screenshot_test.sh PATH_TO_PAVO}" screenshot
e2e_need Xvfb xdpyinfo xwininfo xprop xdotool import convert od awk
x_start -screen 0 1280x800x24
wm_start openbox

# The picture's left and right halves are of different colours, judged 20 px from either
# end of the view, so both ends of the picture are judged.
halves_show() {
  local x y w h
  read -r x y w h <<<"$CLIENT"
  shot
  SEEN="$(pixel $((x + 20)) $((y + h / 2))) $(pixel $((x + w - 20)) $((y + h / 2)))"
  [ "$SEEN" = "#FF0000 #0000FF" ]
}

check_open_step_quit() {
  settings_write
  local picture="$E2E_WORK/pictures/red and blue.png" next="$E2E_WORK/pictures/zz green.png"
  image "$picture" 200 150 '#FF0000' -fill '#0000FF' -draw 'rectangle 100,0 199,149'
  image "$next" 150 200 '#00FF00'
  pavo_start "$picture"
  wait_for 10 title_is "$picture" || fail "the title is '$(title)', expected '$picture'"
  settle
  wait_for 5 halves_show || fail "the picture's halves show $SEEN, expected red left of blue"
  [ "$(field "$CLIENT" 3)" -gt 600 ] || fail "fit to screen should make the window tall, the X server reports $(say_rect "$OUTER")"

  press Right
  wait_for 10 title_is "$next" || fail "Right did not step on: the title is '$(title)'"
  settle
  wait_for 5 centre_is '#00FF00' || fail "after the step the centre shows $SEEN, expected green"
  pavo_quit
  [ -n "$(settings_number posX)" ] || fail "the placement was not stored"
}

check open_step_quit check_open_step_quit
e2e_finish
