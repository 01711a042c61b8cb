# shellcheck shell=bash
# Shared helpers of the end-to-end scenarios (sourced): a private Xvfb display, a window
# manager, Pavo on its own settings, and what the X server says about Pavo's window. Every
# wait is a bounded poll; every process started here is ended by its id at exit.

E2E_SKIP=77  # the exit code ctest is told means "skipped"

e2e_log() { echo "e2e[${E2E_SCENARIO:-?}]: $*" >&2; }

# e2e_init PAVO SCENARIO: the temp folder, the cleanup and the result list.
e2e_init() {
  E2E_PAVO=${1:?the path of the pavo binary}
  E2E_SCENARIO=${2:?a scenario name}
  [ -x "$E2E_PAVO" ] || { e2e_log "no executable at $E2E_PAVO"; exit 1; }
  E2E_WORK=$(mktemp -d "${TMPDIR:-/tmp}/pavo-e2e.XXXXXX")
  E2E_PIDS=() E2E_PASSED=() E2E_FAILED=() E2E_T0=$SECONDS
  trap e2e_cleanup EXIT
  trap 'exit 143' TERM INT HUP
  export XDG_RUNTIME_DIR="$E2E_WORK/runtime" QT_QPA_PLATFORM=xcb
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  unset DBUS_SESSION_BUS_ADDRESS SESSION_MANAGER
}

e2e_cleanup() {
  local i pid
  # Pavos started inside checks that were cut short, if still the same program.
  while read -r pid; do
    [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$(readlink -f "$E2E_PAVO")" ] && kill "$pid" 2>/dev/null
  done < <(cat "$E2E_WORK/pavo.pids" 2>/dev/null)
  # Newest first: the window manager goes before the display it draws on.
  for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do kill "${E2E_PIDS[i]}" 2>/dev/null || true; done
  for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do wait "${E2E_PIDS[i]}" 2>/dev/null || true; done
  if [ -n "${E2E_KEEP:-}" ]; then e2e_log "kept $E2E_WORK"; else rm -rf "$E2E_WORK"; fi
}

# e2e_need COMMAND...: a missing tool skips the whole scenario, loudly.
e2e_need() {
  local c
  for c in "$@"; do command -v "$c" >/dev/null 2>&1 || { e2e_log "SKIPPED: '$c' is not installed (scripts/install-deps.sh)"; exit "$E2E_SKIP"; }; done
}

# wait_for SECONDS COMMAND...: polls the command every 0.1 s until it succeeds; not COMMAND
# succeeds when the command fails.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}
not() { ! "$@"; }

# ---------------------------------------------------------------- display and desktop

# x_start XVFB_ARGS...: Xvfb on a display it picks (DISPLAY; -noreset keeps the monitors
# xrandr sets) and a session bus of the test's own: without one libdbus forks dbus-launch
# from inside Pavo, and under ThreadSanitizer that fork can hang before its exec.
x_start() {
  local file="$E2E_WORK/display" bus
  Xvfb -displayfd 3 -noreset -nolisten tcp "$@" 3>"$file" >"$E2E_WORK/xvfb.log" 2>&1 &
  E2E_PIDS+=($!)
  wait_for 20 test -s "$file" || { e2e_log "Xvfb did not start: $(tail -3 "$E2E_WORK/xvfb.log")"; exit 1; }
  DISPLAY=":$(head -n 1 "$file")"
  export DISPLAY
  wait_for 10 xdpyinfo >/dev/null 2>&1 || { e2e_log "display $DISPLAY does not answer"; exit 1; }
  read -r E2E_ROOT_W E2E_ROOT_H < <(xdpyinfo | sed -n 's/^ *dimensions: *\([0-9]*\)x\([0-9]*\) pixels.*/\1 \2/p' | head -n 1)
  e2e_need dbus-daemon
  bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1) || { e2e_log "no session bus"; exit 1; }
  export DBUS_SESSION_BUS_ADDRESS=${bus%%$'\n'*}
  E2E_PIDS+=("${bus##*$'\n'}")
}

# x_split_monitors: two 1280 x 800 monitors side by side on a 2560 x 800 screen, as RandR
# monitors (which Qt reads) and therefore as Xinerama heads (which window managers read).
x_split_monitors() {
  xrandr --setmonitor PAVO-LEFT 1280/339x800/212+0+0 screen >/dev/null 2>&1 || true
  xrandr --setmonitor PAVO-RIGHT 1280/339x800/212+1280+0 none >/dev/null 2>&1 || true
  [ "$(xdpyinfo -ext XINERAMA 2>/dev/null | grep -c '^ *head #')" = 2 ] ||
    { e2e_log "the X server did not take two monitors: $(xrandr --listmonitors 2>&1 | tr '\n' ' ')"; exit 1; }
}

root_prop() { xprop -root "$1" 2>/dev/null; }

# The window manager is up once the root names a supporting window that names itself.
wm_ready() {
  local check
  check=$(root_prop _NET_SUPPORTING_WM_CHECK | grep -o '0x[0-9a-f]*') || return 1
  xprop -id "$check" _NET_WM_NAME 2>/dev/null | grep -q '"' && root_prop _NET_WORKAREA | grep -q '='
}

# wm_start openbox|xfwm4. Openbox gets a plain configuration of one desktop that focuses new
# windows, so that the user's own never changes the results; xfwm4 reads its settings
# through xfconf, on the session bus x_start started.
wm_start() {
  e2e_need "$1"
  case "$1" in
    openbox)
      echo '<openbox_config xmlns="http://openbox.org/3.4/rc"><focus><focusNew>yes</focusNew><followMouse>no</followMouse></focus><placement><policy>Smart</policy></placement><desktops><number>1</number></desktops></openbox_config>' >"$E2E_WORK/openbox-rc.xml"
      openbox --sm-disable --config-file "$E2E_WORK/openbox-rc.xml" >"$E2E_WORK/wm.log" 2>&1 &
      ;;
    xfwm4) xfwm4 --compositor=off >"$E2E_WORK/wm.log" 2>&1 & ;;
    *) e2e_log "unknown window manager $1"; exit 1 ;;
  esac
  E2E_PIDS+=($!)
  wait_for 20 wm_ready || { e2e_log "$1 did not start: $(tail -3 "$E2E_WORK/wm.log")"; exit 1; }
}

# panel_start HEIGHT: a tint2 panel across the top, reserving HEIGHT pixels as a strut.
panel_start() {
  e2e_need tint2
  printf 'panel_items = T\npanel_position = top center horizontal\npanel_size = 100%% %s\n' "$1" >"$E2E_WORK/tint2rc"
  tint2 -c "$E2E_WORK/tint2rc" >"$E2E_WORK/panel.log" 2>&1 &
  E2E_PIDS+=($!)
  wait_for 20 sh -c "xprop -root _NET_WORKAREA | grep -q '= 0, $1, $E2E_ROOT_W, $((E2E_ROOT_H - $1))'" ||
    { e2e_log "the panel did not reserve its space: $(root_prop _NET_WORKAREA)"; exit 1; }
}

# The work area of the current desktop: "x y w h".
work_area() { root_prop _NET_WORKAREA | sed 's/.*= //; s/,//g' | awk '{ print $1, $2, $3, $4 }'; }

# ---------------------------------------------------------------- settings

settings_file() { echo "$E2E_WORK/config/Pavo/settings.reg"; }

# settings_write NAME=VALUE...: a fresh store; "on"/"off" are flags, numbers are dwords.
# The update check is always off: no test may wait on the network.
settings_write() {
  local file pair value
  file=$(settings_file)
  rm -rf "$E2E_WORK/config"
  mkdir -p "$(dirname "$file")"
  {
    printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Pavo\\settings]\n'
    printf '"checkForUpdate"=hex:00\n'
    for pair in "$@"; do
      case "${pair#*=}" in on) value=hex:01 ;; off) value=hex:00 ;; *) value=$(printf 'dword:%08x' $((${pair#*=} & 0xffffffff))) ;; esac
      printf '"%s"=%s\n' "${pair%%=*}" "$value"
    done
  } >"$file"
}

# settings_number NAME: the stored dword as a signed number, empty when missing.
settings_number() {
  local hex v
  hex=$(sed -n "s/^\"$1\"=dword:\([0-9a-fA-F]\{8\}\).*/\1/p" "$(settings_file)" | tail -n 1)
  [ -n "$hex" ] || return 0
  v=$((16#$hex))
  echo $((v < 2147483648 ? v : v - 4294967296))
}

# The stored placement: "posX posY width height state".
stored_placement() { echo "$(settings_number posX) $(settings_number posY) $(settings_number width) $(settings_number height) $(settings_number state)"; }

# ---------------------------------------------------------------- Pavo

# pavo_start ARGS...: starts Pavo on the test's settings and finds its window (PAVO_WIN).
pavo_start() {
  pavo_kill
  XDG_CONFIG_HOME="$E2E_WORK/config" "$E2E_PAVO" "$@" >"$E2E_WORK/pavo.log" 2>&1 &
  PAVO_PID=$! PAVO_WIN=
  echo "$PAVO_PID" >>"$E2E_WORK/pavo.pids"
  wait_for 20 pavo_find_window || fail "no window of Pavo appeared within 20 s$(pavo_log_tail)"
}

pavo_find_window() {
  kill -0 "$PAVO_PID" 2>/dev/null || { pavo_reap; fail "Pavo ended at start (exit code $PAVO_CODE)$(pavo_log_tail)"; }
  local ids
  ids=$(xdotool search --onlyvisible --pid "$PAVO_PID" 2>/dev/null) && [ -n "$ids" ] || return 1
  [ "$(echo "$ids" | wc -l)" -eq 1 ] || fail "Pavo shows more than one window (a message box?): $(pavo_titles)"
  PAVO_WIN=$ids
}

# pavo_reap: PAVO_CODE := the exit code of the Pavo that has ended.
pavo_reap() { PAVO_CODE=0 && wait "$PAVO_PID" 2>/dev/null || PAVO_CODE=$?; }

pavo_log_tail() { [ ! -s "$E2E_WORK/pavo.log" ] || printf '\n  pavo stderr: %s' "$(grep -v 'XDG_RUNTIME_DIR' "$E2E_WORK/pavo.log" | tail -n 5 | tr '\n' ' ')"; }
pavo_kill() { if [ -n "${PAVO_PID:-}" ] && kill "$PAVO_PID" 2>/dev/null; then wait "$PAVO_PID" 2>/dev/null || true; fi; PAVO_PID=; }

# pavo_quit: Esc ends Pavo (and stores the placement); it must end cleanly.
pavo_quit() {
  press Escape
  wait_for 10 not kill -0 "$PAVO_PID" 2>/dev/null || fail "Esc did not end Pavo within 10 s"
  pavo_reap
  PAVO_PID=
  [ "$PAVO_CODE" = 0 ] || fail "Pavo ended with exit code $PAVO_CODE after Esc$(pavo_log_tail)"
  # A thread that touches Qt before the application exists becomes Qt's main thread,
  # and input then goes astray now and then.
  ! grep -q "was not created in the main() thread" "$E2E_WORK/pavo.log" ||
    fail "Qt took another thread for the main thread$(pavo_log_tail)"
}

# written_memory: Pavo's Private_Dirty memory (heap, pixels) in kB; clean library pages count
# as private or shared depending on which other programs map them.
written_memory() {
  [ -r "/proc/$PAVO_PID/smaps_rollup" ] || fail "Pavo is no longer running$(pavo_log_tail)"
  awk '/^Private_Dirty:/ { s += $2 } END { print s + 0 }' "/proc/$PAVO_PID/smaps_rollup"
}

# ---------------------------------------------------------------- input and Pavo's windows

active_is() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]; }

# focus_window WIN: WIN becomes the active window (Pavo's, a dialog of Pavo, another
# program's), so typed keys are real key events to it; focus does it for Pavo's window.
focus_window() {
  active_is "$1" && return 0
  timeout 5 xdotool windowactivate --sync "$1" >/dev/null 2>&1 || true
  wait_for 5 active_is "$1" ||
    fail "the window manager did not give window $1 ('$(xdotool getwindowname "$1" 2>/dev/null)') the focus (active: $(xdotool getactivewindow 2>&1))"
}
focus() { focus_window "$PAVO_WIN"; }

# press KEY..., press_in WIN KEY..., type_in WIN TEXT: typed into that window (Pavo's)
# once it has the focus.
press() { press_in "$PAVO_WIN" "$@"; }
press_in() { focus_window "$1" && xdotool key --delay 60 "${@:2}"; }
type_in() { focus_window "$1" && xdotool type --delay 40 "$2"; }

# drag BUTTON X0 Y0 X1 Y1 [HOLD_COMMAND]: a button drag in steps, as a hand does it; the
# optional command runs while the button is still held.
drag() {
  local button=$1 x0=$2 y0=$3 x1=$4 y1=$5 i moves=()
  for ((i = 1; i <= 12; i++)); do moves+=(mousemove $((x0 + (x1 - x0) * i / 12)) $((y0 + (y1 - y0) * i / 12)) sleep 0.05); done
  xdotool mousemove --sync "$x0" "$y0" sleep 0.1 mousedown "$button" sleep 0.1 "${moves[@]}" sleep 0.2
  [ -z "${6:-}" ] || "$6"
  xdotool mouseup "$button"
}

# dialog_shown TITLE: Pavo shows a window of exactly that title, left in DIALOG_WIN.
dialog_shown() { DIALOG_WIN=$(xdotool search --all --onlyvisible --pid "$PAVO_PID" --name "^$1\$" 2>/dev/null | head -n 1) || true; [ -n "$DIALOG_WIN" ]; }
dialog_gone() { ! dialog_shown "$1"; }
wait_dialog() { wait_for 10 dialog_shown "$1"; }

# pavo_titles: the titles of Pavo's visible windows, for messages.
pavo_titles() { local w; for w in $(xdotool search --onlyvisible --pid "$PAVO_PID" 2>/dev/null); do printf "'%s' " "$(xdotool getwindowname "$w")"; done; }

# ---------------------------------------------------------------- geometry from the X server

# client_rect: "x y w h" of Pavo's own (client) window in root coordinates.
client_rect() {
  xwininfo -id "$PAVO_WIN" 2>/dev/null | awk '
    /Absolute upper-left X:/ { x = $NF } /Absolute upper-left Y:/ { y = $NF }
    /^ *Width:/ { w = $NF } /^ *Height:/ { h = $NF }
    END { if (w != "") print x, y, w, h }'
}

# frame_extents: "left right top bottom" of the window manager's frame, 0s when none.
frame_extents() { local e; e=$(xprop -id "$PAVO_WIN" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= //p' | tr -d ','); echo "${e:-0 0 0 0}"; }

# outer_rect: "x y w h" of the window with its frame.
outer_rect() {
  local x y w h l r t b
  read -r x y w h < <(client_rect) || return 0
  read -r l r t b < <(frame_extents)
  echo "$((x - l)) $((y - t)) $((w + l + r)) $((h + t + b))"
}

window_state() { xprop -id "$PAVO_WIN" _NET_WM_STATE 2>/dev/null; }
is_fullscreen() { window_state | grep -q _NET_WM_STATE_FULLSCREEN; }
is_maximized() { window_state | grep -q _NET_WM_STATE_MAXIMIZED_VERT && window_state | grep -q _NET_WM_STATE_MAXIMIZED_HORZ; }
frameless() { [ "$(frame_extents)" = "0 0 0 0" ]; }
title() { xdotool getwindowname "$PAVO_WIN" 2>/dev/null; }
title_is() { [ "$(title)" = "$1" ]; }

# cpu_ticks: the processor time Pavo has used so far, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$PAVO_PID/stat" 2>/dev/null; }

# settle: waits until the window's outer and client rectangles have not changed and Pavo
# has used no processor time for 0.6 s (at most 15 s), then sets OUTER and CLIENT.
settle() {
  local last="" now same=0 deadline=$((SECONDS + 15))
  while [ "$SECONDS" -lt "$deadline" ] && [ "$same" -lt 6 ]; do
    now="$(outer_rect) / $(client_rect) / $(cpu_ticks)"
    if [ "$now" = "$last" ]; then same=$((same + 1)); else same=0 last=$now; fi
    sleep 0.1
  done
  [ "$same" -ge 6 ] || fail "the window did not come to rest within 15 s (last: $now)"
  OUTER=$(outer_rect) CLIENT=$(client_rect)
}

# settle_after_change OUTER: waits (at most 5 s) until the outer rectangle is no longer
# OUTER, then settles. A change that never comes is judged by the caller.
settle_after_change() {
  local deadline=$((SECONDS + 5))
  while [ "$(outer_rect)" = "$1" ] && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.1; done
  settle
}

# chrome_level_2: key 2, which leaves no menu bar in the client, so the client is the view.
chrome_level_2() { local before; before=$(outer_rect); press 2; settle_after_change "$before"; }

# back_at RECT WHAT: the outer rectangle is RECT again, else a miss.
back_at() { [ "$OUTER" = "$1" ] || miss "$2: expected the window at $(rect_text "$1"), the X server reports $(say_rect "$OUTER")"; }
# rect_text "X Y W H": the rectangle as WxH+X+Y.
rect_text() { local x y w h; read -r x y w h <<<"$1"; echo "${w}x${h}+${x}+${y}"; }
# say_rect OUTER: the outer rectangle with the client and frame it was made of.
say_rect() { echo "$(rect_text "$1") (client $(rect_text "$CLIENT"), frame l r t b = $(frame_extents))"; }
# field "A B C ..." N: the Nth word, from 0.
field() { local a; read -r -a a <<<"$1"; echo "${a[$2]}"; }

# inside OUTER AREA: the first rectangle lies entirely in the second.
inside() {
  local x y w h ax ay aw ah
  read -r x y w h ax ay aw ah <<<"$1 $2"
  [ "$x" -ge "$ax" ] && [ "$y" -ge "$ay" ] && [ $((x + w)) -le $((ax + aw)) ] && [ $((y + h)) -le $((ay + ah)) ]
}

# ---------------------------------------------------------------- screenshots and images

# fullscreen_round_trip KEY BEFORE [LEAVE]: KEY makes the window cover MONITOR; LEAVE
# (Escape) brings it back to BEFORE.
fullscreen_round_trip() {
  press "$1" && wait_for 10 is_fullscreen || fail "$1 did not make the window fullscreen ($(window_state))"
  settle
  [ "$CLIENT" = "$MONITOR" ] || miss "$1: fullscreen should cover the monitor $(rect_text "$MONITOR"), the window covers $(rect_text "$CLIENT")"
  press "${3:-Escape}" && wait_for 10 not is_fullscreen || fail "${3:-Escape} did not leave the fullscreen of $1"
  settle
  back_at "$2" "$1, ${3:-Escape}"
}

# shot: the whole screen as raw RGB, read back by pixel and count_colour.
shot() { import -window root -depth 8 "rgb:$E2E_WORK/shot.rgb" 2>/dev/null || fail "cannot take a screenshot"; }

# pixel X Y: "#RRGGBB" at root coordinates of the last shot ("off-screen" outside it).
pixel() {
  if [ "$1" -lt 0 ] || [ "$2" -lt 0 ] || [ "$1" -ge "$E2E_ROOT_W" ] || [ "$2" -ge "$E2E_ROOT_H" ]; then echo off-screen; return; fi
  echo "#$(od -An -tx1 -j $((($2 * E2E_ROOT_W + $1) * 3)) -N3 "$E2E_WORK/shot.rgb" | tr -d ' \n' | tr a-f A-F)"
}

# count_colour X Y W H #RRGGBB: how many pixels of that region of the last shot have that colour.
count_colour() {
  convert -size "${E2E_ROOT_W}x${E2E_ROOT_H}" -depth 8 "rgb:$E2E_WORK/shot.rgb" \
    -crop "${3}x${4}+${1}+${2}" +repage -format %c histogram:info:- |
    awk -v c="$5" 'index($0, c) { n += $1 } END { print n + 0 }'
}

# colours_at "FX FY"...: the colours of the last client at those points of it, given in
# quarters of its width and height ("2 2" is the centre), from a new shot.
colours_at() {
  local x y w h p out=""
  read -r x y w h <<<"$CLIENT"
  shot
  for p in "$@"; do out+="$(pixel $((x + w * ${p% *} / 4)) $((y + h * ${p#* } / 4))) "; done
  echo "${out% }"
}

# centre_is COLOUR: the centre of the client is that colour (it is left in SEEN).
centre_is() { SEEN=$(colours_at "2 2"); [ "$SEEN" = "$1" ]; }

# image FILE W H COLOUR [DRAW...]: a flat picture, optionally with ImageMagick drawings.
image() { mkdir -p "$(dirname "$1")" && convert -size "${2}x${3}" "xc:$4" "${@:5}" "$1"; }

# ---------------------------------------------------------------- checks

# fail MESSAGE: the check has failed and cannot go on; miss MESSAGE: it goes on.
fail() { echo "$*" >>"$E2E_WORK/failure"; exit 1; }
miss() { echo "$*" >>"$E2E_WORK/failure"; }

# check NAME FUNCTION: runs one check in a subshell so that a failure ends only it.
check() {
  local name=$1 start=$SECONDS rc
  if [ -n "${E2E_ONLY:-}" ] && ! [[ " $E2E_ONLY " == *" $name "* ]]; then return 0; fi
  rm -f "$E2E_WORK/failure"
  set +e  # the subshell sets errexit again: a command that fails ends the check only
  (
    set -e
    trap pavo_kill EXIT
    trap 'exit 143' TERM INT HUP
    "$2"
  )
  rc=$?
  set -e
  if [ "$rc" -eq 0 ] && ! [ -s "$E2E_WORK/failure" ]; then
    E2E_PASSED+=("$name") && e2e_log "PASS $name ($((SECONDS - start)) s)" && return 0
  fi
  E2E_FAILED+=("$name")
  e2e_log "FAIL $name ($((SECONDS - start)) s):"
  [ -s "$E2E_WORK/failure" ] && sed 's/^/    /' "$E2E_WORK/failure" >&2 ||
    echo "    the harness stopped with code $rc (a command failed)$(pavo_log_tail)" >&2
}

e2e_finish() {
  e2e_log "$((SECONDS - E2E_T0)) s: ${#E2E_PASSED[@]} passed, ${#E2E_FAILED[@]} failed${E2E_FAILED[*]:+ (${E2E_FAILED[*]})}"
  [ "${#E2E_FAILED[@]}" -eq 0 ]
}
