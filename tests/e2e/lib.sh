# shellcheck shell=bash
# Shared helpers of the end-to-end scenarios (sourced, not run): a private Xvfb display,
# a window manager, Pavo with its own settings folder, and what the X server says about
# Pavo's window. Every wait is a bounded poll; every process started here is ended by
# its own id when the script exits.

E2E_SKIP=77  # the exit code ctest is told means "skipped"

e2e_log() { echo "e2e[${E2E_SCENARIO:-?}]: $*" >&2; }

# e2e_init PAVO SCENARIO: the temp folder, the cleanup and the result list.
e2e_init() {
  E2E_PAVO=${1:?the path of the pavo binary}
  E2E_SCENARIO=${2:?a scenario name}
  [ -x "$E2E_PAVO" ] || { e2e_log "no executable at $E2E_PAVO"; exit 1; }
  E2E_WORK=$(mktemp -d "${TMPDIR:-/tmp}/pavo-e2e.XXXXXX")
  E2E_PIDS=()
  E2E_PASSED=()
  E2E_FAILED=()
  E2E_T0=$SECONDS
  trap e2e_cleanup EXIT
  trap 'exit 143' TERM INT HUP
  export XDG_RUNTIME_DIR="$E2E_WORK/runtime" QT_QPA_PLATFORM=xcb
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  unset DBUS_SESSION_BUS_ADDRESS SESSION_MANAGER
}

e2e_cleanup() {
  local i pid
  # Pavos started inside checks that were cut short, if still the same program.
  if [ -f "$E2E_WORK/pavo.pids" ]; then
    while read -r pid; do
      [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$(readlink -f "$E2E_PAVO")" ] && kill "$pid" 2>/dev/null
    done <"$E2E_WORK/pavo.pids"
  fi
  # Newest first: the window manager goes before the display it draws on.
  for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
    kill "${E2E_PIDS[i]}" 2>/dev/null || true
  done
  for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
    wait "${E2E_PIDS[i]}" 2>/dev/null || true
  done
  if [ -n "${E2E_KEEP:-}" ]; then e2e_log "kept $E2E_WORK"; else rm -rf "$E2E_WORK"; fi
}

# e2e_need COMMAND...: a missing tool skips the whole scenario, loudly.
e2e_need() {
  local c
  for c in "$@"; do
    if ! command -v "$c" >/dev/null 2>&1; then
      e2e_log "SKIPPED: '$c' is not installed (scripts/install-deps.sh installs it)"
      exit "$E2E_SKIP"
    fi
  done
}

# wait_for SECONDS COMMAND...: polls the command every 0.1 s until it succeeds.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# ---------------------------------------------------------------- display and desktop

# x_start XVFB_ARGS...: Xvfb on a display it picks itself; exports DISPLAY.
# -noreset keeps the server state (monitors set by xrandr) while no client is connected.
x_start() {
  local file="$E2E_WORK/display"
  Xvfb -displayfd 3 -noreset -nolisten tcp "$@" 3>"$file" >"$E2E_WORK/xvfb.log" 2>&1 &
  E2E_PIDS+=($!)
  wait_for 20 test -s "$file" || { e2e_log "Xvfb did not start: $(tail -3 "$E2E_WORK/xvfb.log")"; exit 1; }
  DISPLAY=":$(head -n 1 "$file")"
  export DISPLAY
  wait_for 10 xdpyinfo >/dev/null 2>&1 || { e2e_log "display $DISPLAY does not answer"; exit 1; }
  read -r E2E_ROOT_W E2E_ROOT_H < <(xdpyinfo | sed -n 's/^ *dimensions: *\([0-9]*\)x\([0-9]*\) pixels.*/\1 \2/p' | head -n 1)
  bus_start
}

# bus_start: a session bus of the test's own, as every desktop has. Without one, Qt's
# first use of the bus makes libdbus fork dbus-launch from inside Pavo, and a forked
# copy of a threaded program under ThreadSanitizer can hang before its exec while the
# window waits for it.
bus_start() {
  e2e_need dbus-daemon
  local bus
  bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1) ||
    { e2e_log "no session bus"; exit 1; }
  export DBUS_SESSION_BUS_ADDRESS=${bus%%$'\n'*}
  E2E_PIDS+=("${bus##*$'\n'}")
}

# x_split_monitors: two 1280 x 800 monitors side by side on a 2560 x 800 screen, as RandR
# monitors (which Qt reads) and therefore as Xinerama heads (which window managers read).
x_split_monitors() {
  xrandr --setmonitor PAVO-LEFT 1280/339x800/212+0+0 screen >/dev/null 2>&1 || true
  xrandr --setmonitor PAVO-RIGHT 1280/339x800/212+1280+0 none >/dev/null 2>&1 || true
  local heads
  heads=$(xdpyinfo -ext XINERAMA 2>/dev/null | grep -c '^ *head #' || true)
  if [ "$heads" != 2 ]; then
    e2e_log "the X server did not take two monitors: $(xrandr --listmonitors 2>&1 | tr '\n' ' ')"
    exit 1
  fi
}

root_prop() { xprop -root "$1" 2>/dev/null; }

# The window manager is up once the root names a supporting window that names itself.
wm_ready() {
  local check
  check=$(root_prop _NET_SUPPORTING_WM_CHECK | grep -o '0x[0-9a-f]*') || return 1
  xprop -id "$check" _NET_WM_NAME 2>/dev/null | grep -q '"' && root_prop _NET_WORKAREA | grep -q '='
}

# wm_start openbox|xfwm4
wm_start() {
  case "$1" in
    openbox)
      e2e_need openbox
      local config="$E2E_WORK/openbox-rc.xml"
      openbox_config "$config"
      openbox --sm-disable --config-file "$config" >"$E2E_WORK/wm.log" 2>&1 &
      E2E_PIDS+=($!)
      ;;
    xfwm4)
      e2e_need xfwm4
      # xfwm4 reads its settings through xfconf, on the session bus x_start started.
      xfwm4 --compositor=off >"$E2E_WORK/wm.log" 2>&1 &
      E2E_PIDS+=($!)
      ;;
    *) e2e_log "unknown window manager $1"; exit 1 ;;
  esac
  wait_for 20 wm_ready || { e2e_log "$1 did not start: $(tail -3 "$E2E_WORK/wm.log")"; exit 1; }
}

# openbox_config FILE: a plain openbox of one desktop that focuses new windows, so that
# the user's own configuration never changes the results.
openbox_config() {
  cat >"$1" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <focus><focusNew>yes</focusNew><followMouse>no</followMouse></focus>
  <placement><policy>Smart</policy></placement>
  <desktops><number>1</number></desktops>
</openbox_config>
EOF
}

# panel_start HEIGHT: a tint2 panel across the top, reserving HEIGHT pixels.
panel_start() {
  e2e_need tint2
  local config="$E2E_WORK/tint2rc"
  cat >"$config" <<EOF
panel_items = T
panel_position = top center horizontal
panel_size = 100% $1
panel_margin = 0 0
panel_padding = 0 0 0
panel_dock = 0
panel_layer = top
panel_monitor = all
strut_policy = follow_size
autohide = 0
EOF
  tint2 -c "$config" >"$E2E_WORK/panel.log" 2>&1 &
  E2E_PIDS+=($!)
  local expected="0, $1, $E2E_ROOT_W, $((E2E_ROOT_H - $1))"
  wait_for 20 sh -c "xprop -root _NET_WORKAREA | grep -q '= $expected'" ||
    { e2e_log "the panel did not reserve its space: $(root_prop _NET_WORKAREA)"; exit 1; }
}

# The work area of the current desktop: "x y w h".
work_area() {
  root_prop _NET_WORKAREA | sed 's/.*= //; s/,//g' | awk '{ print $1, $2, $3, $4 }'
}

# ---------------------------------------------------------------- settings

settings_file() { echo "$E2E_WORK/config/Pavo/settings.reg"; }

# settings_write NAME=VALUE...: a fresh store; "on"/"off" are flags, numbers are dwords.
# The update check is always off: no test may wait on the network.
settings_write() {
  local file pair name value
  file=$(settings_file)
  rm -rf "$E2E_WORK/config"
  mkdir -p "$(dirname "$file")"
  {
    printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Pavo\\settings]\n'
    printf '"checkForUpdate"=hex:00\n'
    for pair in "$@"; do
      name=${pair%%=*}
      value=${pair#*=}
      case "$value" in
        on) printf '"%s"=hex:01\n' "$name" ;;
        off) printf '"%s"=hex:00\n' "$name" ;;
        *) printf '"%s"=dword:%08x\n' "$name" $((value & 0xffffffff)) ;;
      esac
    done
  } >"$file"
}

# settings_number NAME: the stored dword as a signed number, empty when missing.
settings_number() {
  local hex v
  hex=$(sed -n "s/^\"$1\"=dword:\([0-9a-fA-F]\{8\}\).*/\1/p" "$(settings_file)" | tail -n 1)
  [ -n "$hex" ] || return 0
  v=$((16#$hex))
  [ "$v" -lt 2147483648 ] || v=$((v - 4294967296))
  echo "$v"
}

# The stored placement: "posX posY width height state".
stored_placement() {
  echo "$(settings_number posX) $(settings_number posY) $(settings_number width) $(settings_number height) $(settings_number state)"
}

# ---------------------------------------------------------------- Pavo

# pavo_start ARGS...: starts Pavo on the test's settings and finds its window (PAVO_WIN).
pavo_start() {
  pavo_kill
  XDG_CONFIG_HOME="$E2E_WORK/config" "$E2E_PAVO" "$@" >"$E2E_WORK/pavo.log" 2>&1 &
  PAVO_PID=$!
  echo "$PAVO_PID" >>"$E2E_WORK/pavo.pids"
  PAVO_WIN=
  wait_for 20 pavo_find_window || fail "no window of Pavo appeared within 20 s$(pavo_log_tail)$(pavo_stuck_report)"
}

# pavo_stuck_report: what a Pavo that shows no window is doing, for the failure message:
# its windows in any state, each thread's state and, where gdb is installed, its stack.
pavo_stuck_report() {
  kill -0 "$PAVO_PID" 2>/dev/null || return 0
  local ids t
  ids=$(xdotool search --pid "$PAVO_PID" 2>/dev/null | tr '\n' ' ')
  printf '\n  windows of the process (mapped or not): %s' "${ids:-none}"
  for t in /proc/"$PAVO_PID"/task/*; do
    printf '\n  thread %s %s: %s' "$(cat "$t/comm" 2>/dev/null)" "$(awk '{print $3}' "$t/stat" 2>/dev/null)" "$(cat "$t/wchan" 2>/dev/null)"
  done
  if command -v gdb >/dev/null 2>&1; then
    printf '\n%s' "$(timeout 60 gdb -p "$PAVO_PID" -batch -nx -ex 'thread apply all bt 25' 2>/dev/null | grep -E '^(Thread|#)' | sed 's/^/    /')"
  fi
}

pavo_find_window() {
  if ! kill -0 "$PAVO_PID" 2>/dev/null; then
    pavo_reap
    fail "Pavo ended at start (exit code $PAVO_CODE)$(pavo_log_tail)"
  fi
  local ids
  ids=$(xdotool search --onlyvisible --pid "$PAVO_PID" 2>/dev/null) || return 1
  [ -n "$ids" ] || return 1
  [ "$(echo "$ids" | wc -l)" -eq 1 ] ||
    fail "Pavo shows more than one window (a message box?): $(for w in $ids; do xdotool getwindowname "$w"; done | tr '\n' '|')"
  PAVO_WIN=$ids
}

# pavo_reap: PAVO_CODE := the exit code of the Pavo that has ended.
pavo_reap() {
  PAVO_CODE=0
  wait "$PAVO_PID" 2>/dev/null || PAVO_CODE=$?
}

pavo_log_tail() {
  [ -s "$E2E_WORK/pavo.log" ] && printf '\n  pavo stderr: %s' "$(grep -v 'XDG_RUNTIME_DIR' "$E2E_WORK/pavo.log" | tail -n 5 | tr '\n' ' ')"
  return 0
}

pavo_kill() {
  if [ -n "${PAVO_PID:-}" ] && kill -0 "$PAVO_PID" 2>/dev/null; then
    kill "$PAVO_PID" 2>/dev/null || true
    wait "$PAVO_PID" 2>/dev/null || true
  fi
  PAVO_PID=
}

# pavo_quit: Esc ends Pavo (and stores the placement); it must end cleanly.
pavo_quit() {
  press Escape
  wait_for 10 sh -c "! kill -0 $PAVO_PID 2>/dev/null" || fail "Esc did not end Pavo within 10 s"
  pavo_reap
  PAVO_PID=
  [ "$PAVO_CODE" = 0 ] || fail "Pavo ended with exit code $PAVO_CODE after Esc$(pavo_log_tail)"
  # A thread that touches Qt before the application exists becomes Qt's main thread,
  # and input then goes astray now and then.
  ! grep -q "was not created in the main() thread" "$E2E_WORK/pavo.log" ||
    fail "Qt took another thread for the main thread$(pavo_log_tail)"
}

# written_memory: the private memory Pavo has written (Private_Dirty: its heap and its
# pixels), in kB. Clean pages of the libraries it maps are left out: they count as private
# or as shared depending on which other programs map the same libraries at that moment.
written_memory() {
  [ -r "/proc/$PAVO_PID/smaps_rollup" ] || fail "Pavo is no longer running$(pavo_log_tail)"
  awk '/^Private_Dirty:/ { s += $2 } END { print s + 0 }' "/proc/$PAVO_PID/smaps_rollup"
}

# ---------------------------------------------------------------- input

is_active() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$PAVO_WIN" ]; }

# focus: Pavo's window becomes the active one, so typed keys are real key events to it.
focus() {
  is_active && return 0
  timeout 5 xdotool windowactivate --sync "$PAVO_WIN" >/dev/null 2>&1 || true
  wait_for 5 is_active || fail "the window manager did not give Pavo's window the focus (active: $(xdotool getactivewindow 2>&1))"
}

# press KEY...: typed into the focused Pavo window.
press() {
  focus
  xdotool key --delay 60 "$@"
}

# drag BUTTON X0 Y0 X1 Y1 [HOLD_COMMAND]: a button drag in steps, as a hand does it; the
# optional command runs while the button is still held.
drag() {
  local button=$1 x0=$2 y0=$3 x1=$4 y1=$5 hold=${6:-} i steps=12
  xdotool mousemove --sync "$x0" "$y0"
  sleep 0.1
  xdotool mousedown "$button"
  sleep 0.1
  for ((i = 1; i <= steps; i++)); do
    xdotool mousemove "$((x0 + (x1 - x0) * i / steps))" "$((y0 + (y1 - y0) * i / steps))"
    sleep 0.05
  done
  sleep 0.2
  [ -z "$hold" ] || $hold
  xdotool mouseup "$button"
}

# ---------------------------------------------------------------- Pavo's other windows

# pavo_window_titled TITLE: the id of Pavo's visible window of exactly that title (a dialog
# or a message box), nothing when there is none.
pavo_window_titled() {
  local w
  for w in $(xdotool search --onlyvisible --pid "$PAVO_PID" 2>/dev/null); do
    if [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "$1" ]; then
      echo "$w"
      return 0
    fi
  done
  return 0
}

# pavo_titles: the titles of Pavo's visible windows, for messages.
pavo_titles() {
  local w
  for w in $(xdotool search --onlyvisible --pid "$PAVO_PID" 2>/dev/null); do
    printf "'%s' " "$(xdotool getwindowname "$w" 2>/dev/null)"
  done
}

dialog_shown() { DIALOG_WIN=$(pavo_window_titled "$1"); [ -n "$DIALOG_WIN" ]; }
dialog_gone() { [ -z "$(pavo_window_titled "$1")" ]; }

# wait_dialog TITLE: waits (at most 10 s) for Pavo's window of that title; sets DIALOG_WIN.
wait_dialog() {
  wait_for 10 dialog_shown "$1"
}

# focus_window WIN: like focus, for any window (a dialog of Pavo, another program).
focus_window() {
  [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ] && return 0
  timeout 5 xdotool windowactivate --sync "$1" >/dev/null 2>&1 || true
  wait_for 5 sh -c "[ \"\$(xdotool getactivewindow 2>/dev/null)\" = '$1' ]" ||
    fail "the window manager did not give window $1 ('$(xdotool getwindowname "$1" 2>/dev/null)') the focus (active: $(xdotool getactivewindow 2>&1))"
}

# press_in WIN KEY...: keys typed into that window once it has the focus.
press_in() {
  local win=$1
  shift
  focus_window "$win"
  xdotool key --delay 60 "$@"
}

# type_in WIN TEXT: text typed into that window once it has the focus.
type_in() {
  focus_window "$1"
  xdotool type --delay 40 "$2"
}

# ---------------------------------------------------------------- geometry from the X server

# client_rect: "x y w h" of Pavo's own (client) window in root coordinates.
client_rect() {
  xwininfo -id "$PAVO_WIN" 2>/dev/null | awk '
    /Absolute upper-left X:/ { x = $NF } /Absolute upper-left Y:/ { y = $NF }
    /^ *Width:/ { w = $NF } /^ *Height:/ { h = $NF }
    END { if (w != "") print x, y, w, h }'
}

# frame_extents: "left right top bottom" of the window manager's frame, 0s when none.
frame_extents() {
  local e
  e=$(xprop -id "$PAVO_WIN" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= //p' | tr -d ',')
  echo "${e:-0 0 0 0}"
}

# outer_rect: "x y w h" of the window with its frame.
outer_rect() {
  local x y w h l r t b
  read -r x y w h < <(client_rect) || return 0
  read -r l r t b < <(frame_extents)
  echo "$((x - l)) $((y - t)) $((w + l + r)) $((h + t + b))"
}

window_state() { xprop -id "$PAVO_WIN" _NET_WM_STATE 2>/dev/null; }
is_fullscreen() { window_state | grep -q _NET_WM_STATE_FULLSCREEN; }
not_fullscreen() { ! is_fullscreen; }
is_maximized() { window_state | grep -q _NET_WM_STATE_MAXIMIZED_VERT && window_state | grep -q _NET_WM_STATE_MAXIMIZED_HORZ; }
not_maximized() { ! window_state | grep -q _NET_WM_STATE_MAXIMIZED; }
frameless() { [ "$(frame_extents)" = "0 0 0 0" ]; }
framed() { ! frameless; }
title_is() { [ "$(xdotool getwindowname "$PAVO_WIN" 2>/dev/null)" = "$1" ]; }

# cpu_ticks: the processor time Pavo has used so far, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$PAVO_PID/stat" 2>/dev/null; }

# settle: waits until the window's outer and client rectangles have not changed and Pavo
# has used no processor time for 0.6 s (at most 15 s), then sets OUTER and CLIENT.
settle() {
  local last="" now same=0 deadline=$((SECONDS + 15))
  while [ "$SECONDS" -lt "$deadline" ]; do
    now="$(outer_rect) / $(client_rect) / $(cpu_ticks)"
    if [ "$now" = "$last" ]; then
      same=$((same + 1))
      [ "$same" -lt 6 ] || break
    else
      same=0
      last=$now
    fi
    sleep 0.1
  done
  [ "$same" -ge 6 ] || fail "the window did not come to rest within 15 s (last: $now)"
  OUTER=$(outer_rect)
  CLIENT=$(client_rect)
}

# settle_after_change OUTER: waits (at most 5 s) until the outer rectangle is no longer
# OUTER, then settles. A change that never comes is judged by the caller.
settle_after_change() {
  local deadline=$((SECONDS + 5))
  while [ "$(outer_rect)" = "$1" ] && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.1; done
  settle
}

# rect_text "X Y W H": the rectangle as WxH+X+Y.
rect_text() { local x y w h; read -r x y w h <<<"$1"; echo "${w}x${h}+${x}+${y}"; }
# say_rect OUTER: the outer rectangle with the client and frame it was made of.
say_rect() { echo "$(rect_text "$1") (client $(rect_text "$CLIENT"), frame l r t b = $(frame_extents))"; }
# field "A B C ..." N: the Nth word, from 0.
field() { local a; read -r -a a <<<"$1"; echo "${a[$2]}"; }

# inside OUTER AREA: the first rectangle lies entirely in the second.
inside() {
  local x y w h ax ay aw ah
  read -r x y w h <<<"$1"
  read -r ax ay aw ah <<<"$2"
  [ "$x" -ge "$ax" ] && [ "$y" -ge "$ay" ] && [ $((x + w)) -le $((ax + aw)) ] && [ $((y + h)) -le $((ay + ah)) ]
}

# ---------------------------------------------------------------- screenshots

# shot: the whole screen as raw RGB, read back by pixel and region_colours.
shot() {
  import -window root -depth 8 "rgb:$E2E_WORK/shot.rgb" 2>/dev/null || fail "cannot take a screenshot"
}

# pixel X Y: "#RRGGBB" at root coordinates of the last shot ("off-screen" outside it).
pixel() {
  if [ "$1" -lt 0 ] || [ "$2" -lt 0 ] || [ "$1" -ge "$E2E_ROOT_W" ] || [ "$2" -ge "$E2E_ROOT_H" ]; then
    echo off-screen
    return
  fi
  local hex
  hex=$(od -An -tx1 -j $((($2 * E2E_ROOT_W + $1) * 3)) -N3 "$E2E_WORK/shot.rgb" | tr -d ' \n')
  echo "#${hex^^}"
}

# region_colours X Y W H: "count #RRGGBB" lines, most frequent first, of the last shot.
region_colours() {
  convert -size "${E2E_ROOT_W}x${E2E_ROOT_H}" -depth 8 "rgb:$E2E_WORK/shot.rgb" \
    -crop "${3}x${4}+${1}+${2}" +repage -format %c histogram:info:- |
    sed -n 's/^ *\([0-9]*\):.*\(#[0-9A-F]\{6\}\).*/\1 \2/p' | sort -rn
}

# count_colour X Y W H #RRGGBB: how many pixels of the region have that colour.
count_colour() {
  region_colours "$1" "$2" "$3" "$4" | awk -v c="$5" '$2 == c { n += $1 } END { print n + 0 }'
}

# ---------------------------------------------------------------- images

# image FILE W H COLOUR [DRAW...]: a flat picture, optionally with ImageMagick drawings.
image() {
  local file=$1 w=$2 h=$3 colour=$4
  shift 4
  mkdir -p "$(dirname "$file")"
  if [ $# -gt 0 ]; then
    convert -size "${w}x${h}" "xc:$colour" "$@" "$file"
  else
    convert -size "${w}x${h}" "xc:$colour" "$file"
  fi
}

# ---------------------------------------------------------------- checks

# fail MESSAGE: the check has failed and cannot go on.
fail() {
  echo "$*" >>"$E2E_WORK/failure"
  exit 1
}

# miss MESSAGE: an expectation failed; the check goes on to show what else holds.
miss() {
  echo "$*" >>"$E2E_WORK/failure"
}

# check NAME FUNCTION: runs one check in a subshell so that a failure ends only it.
check() {
  local name=$1 fn=$2 start=$SECONDS rc
  if [ -n "${E2E_ONLY:-}" ] && ! [[ " $E2E_ONLY " == *" $name "* ]]; then return 0; fi
  rm -f "$E2E_WORK/failure"
  set +e
  (
    set -e
    trap pavo_kill EXIT
    trap 'exit 143' TERM INT HUP
    "$fn"
  )
  rc=$?
  set -e
  local took=$((SECONDS - start))
  if [ "$rc" -eq 0 ] && ! [ -s "$E2E_WORK/failure" ]; then
    E2E_PASSED+=("$name")
    e2e_log "PASS $name (${took} s)"
  else
    E2E_FAILED+=("$name")
    e2e_log "FAIL $name (${took} s):"
    if [ -s "$E2E_WORK/failure" ]; then
      sed 's/^/    /' "$E2E_WORK/failure" >&2
    fi
    if [ "$rc" -ne 0 ] && ! [ -s "$E2E_WORK/failure" ]; then
      echo "    the harness stopped with code $rc (a command failed)$(pavo_log_tail)" >&2
    fi
  fi
}

e2e_finish() {
  e2e_log "$((SECONDS - E2E_T0)) s: ${#E2E_PASSED[@]} passed, ${#E2E_FAILED[@]} failed${E2E_FAILED[*]:+ (${E2E_FAILED[*]})}"
  [ "${#E2E_FAILED[@]}" -eq 0 ]
}

# centre_is COLOUR: the pixel at the centre of the client is that colour (it is left in SEEN).
centre_is() {
  local x y w h
  read -r x y w h <<<"$CLIENT"
  shot
  SEEN=$(pixel $((x + w / 2)) $((y + h / 2)))
  [ "$SEEN" = "$1" ]
}
