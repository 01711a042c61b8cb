#!/usr/bin/env bash
# End to end: Pavo on the desktops people have beyond a plain X11 screen, under openbox:
# scaled screens (hidpi) and a Wayland session (session); README.md says what each checks.
# Usage: desktop_test.sh PATH_TO_PAVO hidpi|session
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
source "$here/lib.sh"
e2e_init "${1:?usage: desktop_test.sh PATH_TO_PAVO SCENARIO}" "desktop.${2:?a scenario}"
e2e_need Xvfb xdpyinfo xwininfo xprop xdotool import convert od awk

# whole_picture W H: the client is W (or up to 2 device pixels more) wide and shows the W x H
# checkerboard whole and pixel for pixel: as many red and blue pixels as it has, its last row
# and column included, alternating across its middle (what it shows is left in SEEN).
whole_picture() {
  local x y w h red blue row i
  read -r x y w h <<<"$CLIENT"
  shot
  red=$(count_colour "$x" "$y" "$w" "$h" '#FF0000') blue=$(count_colour "$x" "$y" "$w" "$h" '#0000FF')
  row=$(for i in 0 1 2; do pixel $((x + w / 2 + i)) $((y + h / 2)); done | tr '\n' ' ')
  SEEN="a client of ${w}x${h} (menu bar included) with $red red and $blue blue pixels, across its middle $row"
  [ $((w - $1)) -ge 0 ] && [ $((w - $1)) -le 2 ] && [ "$red" = $((($1 * $2 + 1) / 2)) ] && [ "$blue" = $(($1 * $2 / 2)) ] &&
    [[ $row == "#FF0000 #0000FF #FF0000 " || $row == "#0000FF #FF0000 #0000FF " ]]
}

# A picture at its own size covers as many device pixels as it has (at scale 2, not
# twice as many), and on screens Qt scales by a fraction it is whole: where whole logical
# pixels cannot give its size, background is left beside it, never a row or a column cut,
# and Down steps to the next picture instead of scrolling by that row. The pictures are
# red and blue checkerboards, so that any scaling, smoothing or shift shows.
check_own_size() {
  local scale size w h first second
  for scale in 2 1.25 1.5 1.75; do
    export QT_SCALE_FACTOR=$scale
    for size in 300x200 401x301; do
      w=${size%x*} h=${size#*x} first="$E2E_WORK/pictures/$size/1.png" second="$E2E_WORK/pictures/$size/2.png"
      [ -f "$second" ] || { image "$first" 2 2 '#FF0000' -fill '#0000FF' -draw 'point 1,0' -draw 'point 0,1' -write mpr:tile +delete -size "$size" tile:mpr:tile && cp "$first" "$second"; }
      settings_write fitToScreen=off
      pavo_start "$first"
      settle
      wait_for 5 whole_picture "$w" "$h" || miss "at $scale the ${size} picture should be whole, pixel for pixel; the screen shows $SEEN"
      press Down
      wait_for 5 title_is "$second" || miss "at $scale Down should step from the ${size} picture to the next; the title is $(title)"
      pavo_quit
    done
  done
}

# A window manager may size a window a device pixel off what Qt's whole logical pixels
# draw: maximised at 1.5 openbox gives the client 781 rows, which Qt draws as 782. The
# view is what the window has: Page Down brings a tall picture's last row into view.
check_maximised_at_fraction() {
  export QT_SCALE_FACTOR=1.5
  settings_write fitToScreen=off rememberExit=on posX=100 posY=80 width=700 height=500 state=3
  local picture="$E2E_WORK/pictures/tall.png" x y w h blue
  image "$picture" 600 1500 '#FF0000' -fill '#0000FF' -draw 'line 0,1499 599,1499'
  pavo_start "$picture"
  wait_for 10 is_maximized || fail "state 3 is stored, but the window is not maximised ($(window_state))"
  settle
  press Next
  settle
  read -r x y w h <<<"$CLIENT"
  shot
  blue=$(count_colour "$x" "$y" "$w" "$h" '#0000FF')
  [ "$blue" = 600 ] || miss "maximised at 1.5, Page Down should show the picture's last row; the screen shows $blue of its 600 pixels in a client of ${w}x${h}"
  pavo_quit
}

# The fit counts the screen in device pixels: a large picture of noise fills the screen's
# 1280 device pixels and is scaled for them, not for half of them and drawn doubled (which
# would differ nowhere from itself made of 2 x 2 blocks).
check_fit_fills_device_pixels() {
  settings_write
  local picture="$E2E_WORK/pictures/noise.png" l r t b x y w h share
  image "$picture" 2400 1200 gray50 -seed 7 +noise Random
  pavo_start "$picture"
  settle
  read -r l r t b < <(frame_extents)
  read -r x y w h <<<"$CLIENT"
  [ "$w" -ge $((1280 - l - r - 2)) ] ||
    fail "the picture should fill the screen's 1280 device pixels; the X server reports $(say_rect "$OUTER")"
  shot
  share=$(convert -size "${E2E_ROOT_W}x${E2E_ROOT_H}" -depth 8 "rgb:$E2E_WORK/shot.rgb" -crop "${w}x400+$x+$((y + h - 400))" +repage \
    \( +clone -sample 50% -sample 200% \) -metric AE -compare -format '%[distortion]' info:)
  share=$((${share%%.*} * 100 / (w * 400)))
  [ "$share" -ge 50 ] ||
    fail "only $share % of the picture's pixels differ from doubled pixels: it was scaled for half the screen and drawn doubled"
  pavo_quit
}

# A remembered place comes back exactly start after start, and fullscreen returns to it.
check_placement_and_fullscreen() {
  settings_write rememberExit=on fitToScreen=off posX=100 posY=80 width=700 height=500 state=1
  local run first="" starts="" stores="" ok=1 before
  for run in 1 2 3; do
    pavo_start
    settle
    starts+=" $(rect_text "$OUTER")"
    [ "$OUTER" = "${first:=$OUTER}" ] || ok=0
    [ "$run" != 2 ] || MONITOR="0 0 1280 800" fullscreen_round_trip F11 "$OUTER" F11
    pavo_quit
    stores+=" [$(stored_placement)]"
  done
  local want=(100 80 700 500) got i
  read -r -a got <<<"$first"
  for i in 0 1 2 3; do [ $((got[i] - want[i])) -ge -1 ] && [ $((got[i] - want[i])) -le 1 ] || ok=0; done
  [ "$ok" = 1 ] ||
    fail "expected every start at 700x500+100+80 (a device pixel either way at most, Qt places scaled windows on even pixels); the starts were at:$starts; stored after each Esc:$stores"
}

# On a Wayland session with an X display (XWayland), Pavo runs on X11.
check_xwayland_chosen() {
  settings_write
  unset QT_QPA_PLATFORM
  export WAYLAND_DISPLAY=wayland-nowhere XDG_SESSION_TYPE=wayland
  pavo_start
  settle
  ! grep -qi wayland "$E2E_WORK/pavo.log" || fail "Pavo tried Wayland though X11 was there$(pavo_log_tail)"
  pavo_quit
}

# With Wayland alone, Pavo says on standard error what it gives up.
check_wayland_alone_says_so() {
  settings_write
  local code=0
  ulimit -c 0
  env -u DISPLAY -u QT_QPA_PLATFORM WAYLAND_DISPLAY=wayland-nowhere XDG_SESSION_TYPE=wayland XDG_CONFIG_HOME="$E2E_WORK/config" \
    timeout 20 "$E2E_PAVO" >"$E2E_WORK/alone.log" 2>&1 || code=$?
  [ "$code" != 124 ] || fail "Pavo without any reachable display did not end within 20 s"
  grep -q "no X11 display" "$E2E_WORK/alone.log" && grep -q "cannot keep it on its monitor" "$E2E_WORK/alone.log" ||
    fail "Pavo did not say what it gives up without X11; it printed: $(head -c 400 "$E2E_WORK/alone.log")"
}

x_start -screen 0 1280x800x24
wm_start openbox
case "$E2E_SCENARIO" in
  desktop.hidpi)
    export QT_SCALE_FACTOR=2
    checks="own_size fit_fills_device_pixels placement_and_fullscreen maximised_at_fraction"
    ;;
  desktop.session) checks="xwayland_chosen wayland_alone_says_so" ;;
  *) e2e_log "unknown scenario (hidpi, session)"; exit 2 ;;
esac
for name in $checks; do check "$name" "check_$name"; done
e2e_finish
