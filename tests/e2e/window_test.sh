#!/usr/bin/env bash
# End to end: Pavo's window on a real X desktop. One scenario per run:
#   openbox, xfwm4      a plain 1280 x 800 screen under that window manager
#   panel               openbox with a tint2 panel reserving the top 36 pixels
#   two_monitors        openbox on two 1280 x 800 monitors side by side
#   idle_release        openbox; the neighbour cache and the shown pixels released when idle (about 80 s)
# Each check starts Pavo afresh on its own settings, drives it with real key and mouse
# events, and judges it by what the X server reports: window and frame geometry, window
# state, screen pixels and the memory the process has written.
# Usage: window_test.sh PATH_TO_PAVO SCENARIO   (E2E_ONLY="check names" runs a subset)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
source "$here/lib.sh"
e2e_init "${1:?usage: window_test.sh PATH_TO_PAVO SCENARIO}" "${2:?usage: window_test.sh PATH_TO_PAVO SCENARIO}"
e2e_need Xvfb xdpyinfo xwininfo xprop xrandr xdotool wmctrl import convert od awk

RED='#FF0000' GREEN='#00FF00' BLUE='#0000FF' YELLOW='#FFFF00' BLACK='#000000'

# ---------------------------------------------------------------- small judgements


# The placement as stored, without the show state.
stored_rect() { local p; p=$(stored_placement); echo "${p% *}"; }
stored_state() { local p; p=$(stored_placement); echo "${p##* }"; }


# Level 2 leaves no menu bar in the client window, so the client is the image view.
chrome_level_2() {
  local before
  before=$(outer_rect)
  press 2
  settle_after_change "$before"
}

# ---------------------------------------------------------------- 1: placement

store_place() { # store_place STATE [MORE SETTINGS...]: the scenario's rectangle, remembered.
  local px py pw ph state=$1
  shift
  read -r px py pw ph <<<"$PLACE"
  settings_write rememberExit=on posX="$px" posY="$py" width="$pw" height="$ph" state="$state" "$@"
}

# The stored outer rectangle comes back exactly, start after start, and is stored back unchanged.
check_placement_restarts() {
  store_place 1
  local run starts="" stores="" ok=1 extents
  for run in 1 2 3; do
    pavo_start
    settle
    extents=$(frame_extents)
    starts+=" $(rect_text "$OUTER")"
    [ "$OUTER" = "$PLACE" ] || ok=0
    pavo_quit
    stores+=" [$(stored_placement)]"
    [ "$(stored_placement)" = "$PLACE 1" ] || ok=0
  done
  [ "$ok" = 1 ] ||
    fail "expected every start at $(rect_text "$PLACE") and the store to keep [$PLACE 1]; the X server reports the outer rectangle at the starts:$starts; stored after each Esc:$stores (frame l r t b = $extents)"
}

# Exits at the image-only level (no frame) store the same rectangle and do not drift either.
check_placement_image_only() {
  store_place 1
  local run starts="" levels="" stores="" ok=1
  for run in 1 2; do
    pavo_start
    settle
    starts+=" $(rect_text "$OUTER")"
    press 1
    wait_for 10 frameless || fail "key 1 did not take the window manager's frame away (frame l r t b = $(frame_extents))"
    settle
    levels+=" $(rect_text "$OUTER")"
    pavo_quit
    stores+=" [$(stored_placement)]"
    [ "$(stored_placement)" = "$PLACE 1" ] || ok=0
  done
  [ "$ok" = 1 ] ||
    fail "expected the store to keep [$PLACE 1] through exits at level 1; stored after each Esc:$stores (starts at:$starts; at level 1:$levels)"
}

# A window stored maximised opens maximised, stays so across restarts, and keeps its normal rectangle.
check_placement_maximised() {
  store_place 3
  local run
  for run in 1 2; do
    pavo_start
    wait_for 10 is_maximized || fail "start $run: state 3 is stored, but the window is not maximised ($(window_state))"
    settle
    inside "$OUTER" "$WORK" || miss "start $run: the maximised window $(say_rect "$OUTER") reaches outside the work area $(rect_text "$WORK")"
    pavo_quit
    [ "$(stored_placement)" = "$PLACE 3" ] ||
      miss "exit $run: expected the store to keep the normal rectangle and state [$PLACE 3], it holds [$(stored_placement)]"
  done
  # Restoring goes back to the stored normal rectangle.
  store_place 3
  pavo_start
  wait_for 10 is_maximized || fail "the window did not open maximised"
  settle
  wmctrl -i -r "$PAVO_WIN" -b remove,maximized_vert,maximized_horz
  wait_for 10 not is_maximized || fail "the window did not leave the maximised state"
  settle
  [ "$OUTER" = "$PLACE" ] ||
    miss "restored from maximised: expected the stored normal rectangle $(rect_text "$PLACE"), the X server reports $(say_rect "$OUTER")"
}

# ---------------------------------------------------------------- 2: first fit

# A first start (nothing remembered) fits an 800 x 600 image to the work area, frame included.
check_first_fit() {
  settings_write
  image "$E2E_WORK/first/red.png" 800 600 "$RED"
  pavo_start "$E2E_WORK/first/red.png"
  settle
  inside "$OUTER" "$FIRST_WORK" ||
    fail "the first window $(say_rect "$OUTER") reaches outside the work area $(rect_text "$FIRST_WORK")"
  # A 4:3 image on this screen is limited by the height: the fit touches it.
  [ "$(field "$OUTER" 3)" = "$(field "$FIRST_WORK" 3)" ] ||
    fail "fit should make the window as high as the work area ($(field "$FIRST_WORK" 3) px), the X server reports $(say_rect "$OUTER")"
}

# ---------------------------------------------------------------- 3: window modes

fullscreen_round_trip() {
  local key=$1 before=$2 round=$3
  press "$key"
  wait_for 10 is_fullscreen || fail "round $round: $key did not make the window fullscreen ($(window_state))"
  settle
  [ "$CLIENT" = "$MONITOR" ] ||
    miss "round $round: fullscreen should cover the monitor $(rect_text "$MONITOR"), the window covers $(rect_text "$CLIENT")"
  press Escape
  wait_for 10 not is_fullscreen ||
    fail "round $round: Escape did not leave fullscreen"
  settle
  [ "$OUTER" = "$before" ] ||
    miss "round $round ($key, Escape): expected the window back at $(rect_text "$before"), the X server reports $(say_rect "$OUTER")"
}

# Fullscreen and back, twice, then chrome levels 3 -> 1 -> 3: the window comes back each time.
check_window_modes() {
  store_place 1
  image "$E2E_WORK/modes/red.png" 800 600 "$RED"
  pavo_start "$E2E_WORK/modes/red.png"
  settle
  local start=$OUTER
  inside "$start" "$WORK" || miss "the fitted window $(say_rect "$start") reaches outside the work area $(rect_text "$WORK")"
  fullscreen_round_trip Return "$start" 1
  fullscreen_round_trip F11 "$start" 2

  local before=$OUTER
  press 1
  wait_for 10 frameless || fail "key 1 did not take the window manager's frame away (frame l r t b = $(frame_extents))"
  settle
  local level1=$OUTER
  inside "$level1" "$WORK" || miss "at level 1 the window $(say_rect "$level1") reaches outside the work area $(rect_text "$WORK")"
  [ "$(field "$level1" 0) $(field "$level1" 1)" = "$(field "$before" 0) $(field "$before" 1)" ] ||
    miss "at level 1 the refitted window should keep its top-left corner $(field "$before" 0),$(field "$before" 1); the X server reports $(say_rect "$level1")"
  press 3
  wait_for 10 not frameless ||
    fail "key 3 did not bring the window manager's frame back"
  settle
  [ "$OUTER" = "$before" ] ||
    miss "levels 3 -> 1 -> 3: expected the window back at $(rect_text "$before"), the X server reports $(say_rect "$OUTER") (at level 1 it was $(rect_text "$level1"))"
}

# ---------------------------------------------------------------- 4: fit toggle, then a step

# view_shows BAND_COLOUR REST_COLOUR: the image's top-left part at its own size fills the
# view: a 100 pixel band of the first colour at the left, the second colour after it, no black.
view_shows() {
  local x y w h
  read -r x y w h <<<"$CLIENT"
  shot
  SEEN_BAND=$(pixel $((x + 50)) $((y + h / 2)))
  SEEN_REST=$(pixel $((x + 150)) $((y + h / 2)))
  SEEN_BLACK=$(count_colour "$x" "$y" "$w" "$h" "$BLACK")
  [ "$SEEN_BAND" = "$1" ] && [ "$SEEN_REST" = "$2" ] && [ "$SEEN_BLACK" = 0 ]
}

# F turns fit off (the image at its own size in a window limited by the screen); the step
# that follows must show the next image at its own size too, not a neighbour scaled for
# fit. The images are tall but narrower than the screen, because Right pans an image wider
# than the window instead of stepping.
check_fit_toggle_then_step() {
  settings_write
  local dir="$E2E_WORK/step"
  image "$dir/a.png" 1200 3000 "$RED" -fill "$GREEN" -draw 'rectangle 0,0 99,2999'
  image "$dir/b.png" 1200 3000 "$BLUE" -fill "$YELLOW" -draw 'rectangle 0,0 99,2999'
  pavo_start "$dir/a.png"
  settle
  chrome_level_2
  local fitted=$OUTER
  press f
  settle_after_change "$fitted"
  [ "$(field "$CLIENT" 2)" = 1200 ] ||
    fail "F (fit off) should size the view to the image's own width 1200, the X server reports $(say_rect "$OUTER")"
  wait_for 5 view_shows "$GREEN" "$RED" ||
    fail "after F the image should show at its own size (green band 100 px at the left, red after it, no black); the screen shows $SEEN_BAND at x=50, $SEEN_REST at x=150, $SEEN_BLACK black pixels in the view $(rect_text "$CLIENT")"

  press Right
  wait_for 10 title_is "$dir/b.png" || fail "Right did not step to b.png (title: $(xdotool getwindowname "$PAVO_WIN"))"
  settle
  wait_for 5 view_shows "$YELLOW" "$BLUE" ||
    fail "after the step the next image should show at its own size (yellow band 100 px at the left, blue after it, no black); the screen shows $SEEN_BAND at x=50, $SEEN_REST at x=150, $SEEN_BLACK black pixels in the view $(rect_text "$CLIENT")"
  [ "$(field "$CLIENT" 2)" = 1200 ] ||
    fail "after the step the view should keep the image's own width 1200, the X server reports $(say_rect "$OUTER")"
}

# ---------------------------------------------------------------- 5: sticky size

# With sticky size on, a step keeps the view as wide as the last image was shown and lets
# the height follow the new image; the image still fills the view.
check_sticky_size() {
  # Placed away from the screen's edges, so that the whole image can be measured.
  store_place 1 stickyWindowSize=on
  local dir="$E2E_WORK/sticky"
  image "$dir/a.png" 600 1200 "$RED"
  image "$dir/b.png" 1000 600 "$BLUE"
  pavo_start "$dir/a.png"
  settle
  chrome_level_2
  local x y w h first_view=$CLIENT
  read -r x y w h <<<"$CLIENT"
  shot
  local shown_width
  shown_width=$(count_colour "$x" $((y + h / 2)) "$w" 1 "$RED")
  [ "$shown_width" -gt 100 ] || fail "the first image does not show (only $shown_width red pixels across the middle of the view $(rect_text "$CLIENT"))"

  local before=$OUTER
  press Right
  wait_for 10 title_is "$dir/b.png" || fail "Right did not step to b.png (title: $(xdotool getwindowname "$PAVO_WIN"))"
  settle_after_change "$before"
  read -r x y w h <<<"$CLIENT"
  # The view keeps the width the last image was shown at; the height follows the new ratio.
  local want_h=$(((600 * shown_width + 500) / 1000))
  [ "$w" = "$shown_width" ] && [ "$h" = "$want_h" ] ||
    fail "sticky size: the last image was shown $shown_width px wide, so the 1000x600 image should get a ${shown_width}x${want_h} view; the X server reports $(say_rect "$OUTER") (the first image's view was $(rect_text "$first_view"))"
  shot
  local black
  black=$(count_colour "$x" "$y" "$w" "$h" "$BLACK")
  [ "$black" -le $((2 * (w + h))) ] ||
    fail "sticky size: the image should fill its ${w}x${h} view, but $black pixels of it are black"
  e2e_log "  sticky size: first image shown $shown_width px wide, the next one's view ${w}x${h}"
}

# ---------------------------------------------------------------- 6: frame drag

# Dragging the frame's bottom-right corner keeps the view at the image's 2:1 ratio.
check_aspect_drag() {
  settings_write
  image "$E2E_WORK/drag/red.png" 1200 600 "$RED"
  pavo_start "$E2E_WORK/drag/red.png"
  settle
  chrome_level_2
  # A wide image makes a window limited by the width; moved so that its corner is on screen.
  local x y w h
  read -r x y w h <<<"$OUTER"
  if [ $((x + w)) -gt $((E2E_ROOT_W - 10)) ] || [ $((y + h)) -gt $((E2E_ROOT_H - 10)) ]; then
    local before=$OUTER
    xdotool windowmove "$PAVO_WIN" $((E2E_ROOT_W - 10 - w)) $((y + h > E2E_ROOT_H - 10 ? E2E_ROOT_H - 10 - h : y))
    settle_after_change "$before"
    read -r x y w h <<<"$OUTER"
    [ $((x + w)) -le "$E2E_ROOT_W" ] && [ $((y + h)) -le "$E2E_ROOT_H" ] ||
      fail "the frame's bottom-right corner of $(say_rect "$OUTER") cannot be brought on screen to drag it"
  fi
  local before=$OUTER
  drag 1 $((x + w - 2)) $((y + h - 2)) $((x + w - 300)) $((y + h - 60))
  settle_after_change "$before"
  local cw ch
  read -r _ _ cw ch <<<"$CLIENT"
  [ "$(field "$OUTER" 2)" -le $((w - 100)) ] ||
    fail "dragging the frame's bottom-right corner 300 px to the left did not make the window narrower: before $(rect_text "$before"), after $(say_rect "$OUTER")"
  local want_h=$(((cw + 1) / 2))
  [ $((ch - want_h)) -ge -2 ] && [ $((ch - want_h)) -le 2 ] ||
    fail "after the frame drag the view is ${cw}x${ch}; the 2:1 image wants it ${cw}x${want_h} (within 2 px); window before $(rect_text "$before"), after $(say_rect "$OUTER")"
  e2e_log "  frame drag: $(rect_text "$before") -> $(rect_text "$OUTER"), view ${cw}x${ch}"
}

# ---------------------------------------------------------------- 7: snap to the monitor edge

# A left drag inside the image moves the window; released partly past the left edge and
# above the top, it snaps back inside the work area.
check_snap_to_edge() {
  settings_write
  image "$E2E_WORK/snap/red.png" 800 600 "$RED"
  pavo_start "$E2E_WORK/snap/red.png"
  settle
  local before=$OUTER x y w h ox oy
  read -r x y w h <<<"$CLIENT"
  read -r ox oy _ _ <<<"$OUTER"
  local cx=$((x + w / 2)) cy=$((y + h / 2))
  # Far enough that the window would end 300 px past the left edge and 100 px above the top.
  local dx=$((ox - $(field "$WORK" 0) + 300)) dy=$((oy - $(field "$WORK" 1) + 100))
  [ "$cx" -gt "$dx" ] || dx=$((cx - 5))
  [ "$cy" -gt "$dy" ] || dy=$((cy - 5))
  HELD=
  drag 1 "$cx" "$cy" $((cx - dx)) $((cy - dy)) held_rect
  [ "$(field "$HELD" 0)" -lt "$(field "$WORK" 0)" ] ||
    fail "a left drag inside the image should move the window past the left edge; while held it was at $(rect_text "$HELD") (before $(rect_text "$before"))"
  settle_after_change "$HELD"
  inside "$OUTER" "$WORK" ||
    fail "on release the window should snap inside the work area $(rect_text "$WORK"); held at $(rect_text "$HELD"), the X server reports $(say_rect "$OUTER")"
}
held_rect() { HELD=$(outer_rect); }

# ---------------------------------------------------------------- 8: neighbours and idle release

# steady_memory SECONDS: waits (at most SECONDS) until Pavo's written memory has stayed
# within 2 MB for 2 s, and sets MEMORY to it.
steady_memory() {
  local last=0 now steady=0 deadline=$((SECONDS + $1))
  while [ "$SECONDS" -lt "$deadline" ] && [ "$steady" -lt 4 ]; do
    now=$(written_memory)
    if [ $((now - last)) -lt 2048 ] && [ $((last - now)) -lt 2048 ]; then steady=$((steady + 1)); else steady=0; fi
    last=$now
    sleep 0.5
  done
  MEMORY=$last
}

# The neighbours decode after the first image; a minute without input releases them and
# the shown image's decoded pixels (the written memory drops to near an empty window's);
# the next action decodes the shown image again, turned as it was; the next step brings
# the neighbours back.
check_idle_release() {
  settings_write bufferTimeout=1
  local dir="$E2E_WORK/idle" name
  # Three photo-sized pictures with an alpha channel: they decode straight into their 6000 x
  # 4000 x 4 byte matrices, with no intermediate buffer for an allocator to keep, and are kept
  # as 72 MB of colour each. The first is red on the left and blue on the right, so that a
  # turn shows.
  mkdir -p "$dir"
  convert -size 3000x4000 "xc:$RED" "xc:$BLUE" +append "PNG32:$dir/a.png"
  for name in b:"$GREEN" c:"$BLUE"; do
    convert -size 6000x4000 "xc:${name#*:}" "PNG32:$dir/${name%%:*}.png"
  done
  # The empty window, once it has loaded what it loads in the background (the image codecs).
  pavo_start
  settle
  steady_memory 15
  local empty=$MEMORY
  local started=$SECONDS
  pavo_start "$dir/a.png"
  settle
  # Turned before the release, so that the decode after it has a turn to bring back.
  press t
  settle
  # Both neighbours decode right after the first image: wait until the memory stops growing.
  steady_memory 30
  # On a loaded machine a neighbour may still be decoding after that, so the release is
  # judged from the highest memory seen, not from where the growth paused.
  local loaded=$MEMORY least=$MEMORY now deadline x y w h
  # Without input the idle watcher, which looks once a minute, releases at its second look
  # at the latest. It frees both neighbours and the shown image's pixels (3 x 72 MB): the
  # memory must come to within 50 MB of the empty window's.
  deadline=$((started + 150))
  while [ "$SECONDS" -lt "$deadline" ]; do
    now=$(written_memory)
    if [ "$now" -gt "$loaded" ]; then loaded=$now least=$now; fi
    [ "$now" -ge "$least" ] || least=$now
    [ $((least - empty)) -ge 51200 ] || break
    sleep 1
  done
  local released=$((SECONDS - started))
  [ $((least - empty)) -lt 51200 ] ||
    fail "with bufferTimeout 1 s the idle release should bring the written (private dirty) memory to within 50 MB of the empty window's ($((empty / 1024)) MB) within 150 s of the start; it went from its highest, $((loaded / 1024)) MB, only down to $((least / 1024)) MB"
  # The turned picture (red above blue) was kept on screen; T turns it once more: blue on
  # the left, red on the right, which needs the decoded pixels back.
  read -r x y w h <<<"$CLIENT"
  shot
  [ "$(pixel $((x + w / 2)) $((y + h / 4)))" = "$RED" ] && [ "$(pixel $((x + w / 2)) $((y + 3 * h / 4)))" = "$BLUE" ] ||
    miss "after the release the turned picture should still be on screen, red above blue; seen $(pixel $((x + w / 2)) $((y + h / 4))) above $(pixel $((x + w / 2)) $((y + 3 * h / 4)))"
  local before=$OUTER
  press t
  settle_after_change "$before"
  read -r x y w h <<<"$CLIENT"
  shot
  [ "$(pixel $((x + w / 4)) $((y + h / 2)))" = "$BLUE" ] && [ "$(pixel $((x + 3 * w / 4)) $((y + h / 2)))" = "$RED" ] ||
    miss "T after the release should show the picture turned twice, blue left of red; seen $(pixel $((x + w / 4)) $((y + h / 2))) left of $(pixel $((x + 3 * w / 4)) $((y + h / 2)))"
  # The next step decodes the shown image on the spot and both neighbours arrive again: more
  # than the one image the step itself needs, even if the image left stays cached.
  local restored
  restored=$(written_memory)
  press Right
  wait_for 10 title_is "$dir/b.png" || fail "Right did not step to b.png after the release (title: $(xdotool getwindowname "$PAVO_WIN"))"
  deadline=$((SECONDS + 20))
  while [ "$SECONDS" -lt "$deadline" ]; do
    now=$(written_memory)
    [ $((now - restored)) -lt 120000 ] || break
    sleep 0.5
  done
  [ $((now - restored)) -ge 120000 ] ||
    miss "after the step both neighbours should be decoded again (2 x 72 MB more than the image shown); the written memory rose only from $((restored / 1024)) MB to $((now / 1024)) MB"
  settle
  wait_for 5 centre_is "$GREEN" || miss "after the step the centre of the window shows $SEEN, expected green (b.png)"
  e2e_log "  written memory: empty window $((empty / 1024)) MB, $((loaded / 1024)) MB with both neighbours, $((least / 1024)) MB after the idle release (${released} s after the start), $((restored / 1024)) MB once T decoded the shown image again, $((now / 1024)) MB after the next step"
}

# ---------------------------------------------------------------- 9: second monitor

# Stored on the second monitor, the window opens there, and a fit uses that monitor's size.
# The thin-border allowance is set to 0 here, so that only the monitor is judged.
check_second_monitor() {
  store_place 1 fixWindowPosition=0
  pavo_start
  settle
  [ "$OUTER" = "$PLACE" ] ||
    miss "stored on the second monitor at $(rect_text "$PLACE"), the window opened at $(say_rect "$OUTER")"
  pavo_quit
  image "$E2E_WORK/wide/green.png" 2000 400 "$GREEN"
  pavo_start "$E2E_WORK/wide/green.png"
  settle
  inside "$OUTER" "$WORK" ||
    miss "the fitted window $(say_rect "$OUTER") should stay on the second monitor's work area $(rect_text "$WORK")"
  [ "$(field "$OUTER" 2)" = "$(field "$MONITOR" 2)" ] ||
    miss "a wide image fitted on the second monitor should make the window as wide as that monitor ($(field "$MONITOR" 2) px), the X server reports $(say_rect "$OUTER")"
}

# ---------------------------------------------------------------- scenarios

case "$E2E_SCENARIO" in
  openbox | xfwm4)
    x_start -screen 0 1280x800x24
    wm_start "$E2E_SCENARIO"
    WORK=$(work_area) FIRST_WORK=$(work_area) MONITOR="0 0 1280 800" PLACE="100 80 700 500"
    checks="placement_restarts placement_image_only placement_maximised first_fit window_modes fit_toggle_then_step sticky_size aspect_drag snap_to_edge"
    ;;
  panel)
    x_start -screen 0 1280x800x24
    wm_start openbox
    panel_start 36
    WORK=$(work_area) FIRST_WORK=$(work_area) MONITOR="0 0 1280 800" PLACE="100 80 700 500"
    checks="placement_restarts placement_maximised first_fit window_modes snap_to_edge"
    ;;
  two_monitors)
    x_start -screen 0 2560x800x24
    x_split_monitors
    wm_start openbox
    # The window lives on the right monitor; a first start (nothing stored) on the left one.
    MONITOR="1280 0 1280 800" WORK="1280 0 1280 800" FIRST_WORK="0 0 1280 800" PLACE="1400 100 700 500"
    checks="second_monitor placement_restarts first_fit window_modes"
    ;;
  idle_release)
    # It is judged by the memory the process has written, which AddressSanitizer's quarantine
    # of freed memory holds on to.
    if [ "${PAVO_SANITIZE:-}" = address ]; then
      e2e_log "SKIPPED: the written memory says nothing about the release under AddressSanitizer"
      exit "$E2E_SKIP"
    fi
    x_start -screen 0 1280x800x24
    wm_start openbox
    WORK=$(work_area) MONITOR="0 0 1280 800"
    checks="idle_release"
    ;;
  *)
    e2e_log "unknown scenario (openbox, xfwm4, panel, two_monitors, idle_release)"
    exit 2
    ;;
esac
e2e_log "work area $(rect_text "$WORK") on $(xdpyinfo | sed -n 's/^ *dimensions: *\([0-9x]*\).*/\1/p') under $(xprop -id "$(root_prop _NET_SUPPORTING_WM_CHECK | grep -o '0x[0-9a-f]*')" _NET_WM_NAME | sed 's/.*= //')"
for name in $checks; do check "$name" "check_$name"; done
e2e_finish
