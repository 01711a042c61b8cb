#!/usr/bin/env bash
# End to end: a seeded monkey. The real program under Xvfb and openbox gets a random but
# reproducible run of actions: keys (alone and in bursts, as a held key), the wheel,
# Delete answered Yes or No in the real box, go-to, resizes and maximising through the
# window manager, and files deleted, truncated, replaced, turned to garbage, renamed and
# added behind its back. After each action, once the window is at rest: Pavo is alive;
# every box it shows is one it may show (its text read over the accessibility bus, as a
# screen reader reads it) and is answered; the title names a file the folder had; no file
# left the folder but those the monkey removed and those a Delete box named and Yes
# confirmed, and each of those is in the trash. At the end Esc stores the placement and
# the settings store reads back.
# Usage: monkey_test.sh PATH_TO_PAVO
#   E2E_MONKEY_SEED=N       run that seed only (else two fixed seeds and one from the clock)
#   E2E_MONKEY_PLAN=FILE    replay the actions in FILE (lines as the failure log prints them)
#   E2E_MONKEY_ACTIONS=N    actions per seed (60); E2E_MONKEY_SECONDS=S: a seed's time (90)
#   E2E_KEEP=1              keep the temp folder
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
source "$here/lib.sh"
e2e_init "${1:?usage: monkey_test.sh PATH_TO_PAVO}" monkey
e2e_need Xvfb xdpyinfo xwininfo xprop xdotool wmctrl xset import convert od awk python3 busctl
if ! [ -f /usr/share/dbus-1/services/org.a11y.Bus.service ]; then
  e2e_log "SKIPPED: no accessibility bus (at-spi2-core; scripts/install-deps.sh installs it)"
  exit "$E2E_SKIP"
fi

# Seed 605 answers Yes to deleting the picture whose name is not UTF-8 by its 18th action.
FIXED_SEEDS="1 605"
ACTIONS=${E2E_MONKEY_ACTIONS:-60}
BUDGET=${E2E_MONKEY_SECONDS:-90}

monkey() { python3 "$here/monkey.py" "$@"; }
title() { xdotool getwindowname "$PAVO_WIN" 2>/dev/null; }

# log LINE: the action log of the seed, printed whole when a check fails; notes on an
# action are indented and start with #, so that the log replays as a plan.
log() { echo "$*" >>"$SEED_DIR/actions.log"; }
actions_done() { grep -c '^[a-z]' "$SEED_DIR/actions.log" || true; }

# ---------------------------------------------------------------- the accessibility bus

# a11y_start: the accessibility bus of the session, switched on before Pavo starts, so
# that Qt puts its windows on it (the bus launcher is started by the session bus itself
# and ends with it).
a11y_start() {
  busctl --address="$DBUS_SESSION_BUS_ADDRESS" call org.a11y.Bus /org/a11y/bus \
    org.freedesktop.DBus.Properties Set ssv org.a11y.Status IsEnabled b true ||
    { e2e_log "the accessibility bus did not start"; exit 1; }
  A11Y_BUS=$(busctl --address="$DBUS_SESSION_BUS_ADDRESS" --json=short call org.a11y.Bus \
    /org/a11y/bus org.a11y.Bus GetAddress | sed 's/.*"data":\["\(.*\)"\]}$/\1/')
  [ -n "$A11Y_BUS" ] || { e2e_log "the accessibility bus has no address"; exit 1; }
}

# ---------------------------------------------------------------- judgements

# alive: Pavo's process is still there.
alive() {
  kill -0 "$PAVO_PID" 2>/dev/null || fail "$(how_pavo_ended)"
}
how_pavo_ended() {
  pavo_reap
  local how="exit code $PAVO_CODE" signal=$((PAVO_CODE - 128))
  [ "$signal" -le 0 ] || how="signal $signal, SIG$(kill -l "$signal" 2>/dev/null)"
  echo "Pavo ended ($how)$(pavo_log_tail)"
}

# a_box: BOX := one of Pavo's visible windows other than its main window, if any.
a_box() {
  local w
  BOX=
  for w in $(xdotool search --onlyvisible --pid "$PAVO_PID" 2>/dev/null); do
    [ "$w" = "$PAVO_WIN" ] || { BOX=$w; return 0; }
  done
  return 1
}
box_gone() { ! xdotool search --onlyvisible --pid "$PAVO_PID" 2>/dev/null | grep -qx "$1"; }

# answer_boxes: every box Pavo shows is judged and answered, one after the other (a
# refused delete is followed by a reload that may fail in turn).
answer_boxes() {
  local n=0 box_title text reply
  while a_box; do
    n=$((n + 1))
    [ "$n" -le 8 ] || fail "Pavo keeps showing boxes: $(pavo_titles)"
    box_title=$(xdotool getwindowname "$BOX" 2>/dev/null)
    text=$(monkey box-text "$A11Y_BUS" "$box_title") || fail "$text"
    view_colours "$box_title"
    reply=$(monkey box "$STATE" "$box_title" "$text" "$(title)" "$SEED_DIR/colours") ||
      fail "$reply"
    log "  # box '$box_title': $(echo "$text" | tr '\n' ' ') -> $reply"
    press_in "$BOX" "$reply"
    wait_for 10 box_gone "$BOX" || fail "the box '$box_title' stayed after $reply"
    [ "$box_title" != "Delete file" ] || wait_for 10 delete_done || true
    settle
    alive
  done
}

# view_colours TITLE: while a Delete box is up, Pavo has drawn all it had to: the colours
# of its view (the box's greys aside) tell which of two paths that read alike it shows.
view_colours() {
  : >"$SEED_DIR/colours"
  [ "$1" = "Delete file" ] || return 0
  local x y w h
  read -r x y w h <<<"$(client_rect)"
  shot
  region_colours "$x" "$y" "$w" "$h" >"$SEED_DIR/colours"
}

delete_done() { a_box || monkey delete-done "$STATE"; }

# judge: after an action, once at rest.
judge() {
  settle
  alive
  answer_boxes
  local verdict
  verdict=$(monkey check "$STATE" "$(title)" "$XDG_DATA_HOME/Trash") || fail "$verdict"
}

# ---------------------------------------------------------------- actions

view_centre() {
  local x y w h
  read -r x y w h <<<"$(client_rect)"
  echo "$((x + w / 2)) $((y + h / 2))"
}

do_key() {
  if [ "$1" = Escape ] && ! is_fullscreen; then
    log "  # not fullscreen: Escape would quit, so it is not typed"
    return 0
  fi
  press "$1"
}

# do_burst KEY N: the key N times, 5 ms apart, as a held key repeats.
do_burst() {
  local -a keys=()
  local i
  for ((i = 0; i < $2; i++)); do keys+=("$1"); done
  focus
  xdotool key --delay 5 "${keys[@]}"
}

do_wheel() {
  local cx cy
  read -r cx cy <<<"$(view_centre)"
  focus
  xdotool mousemove --sync "$cx" "$cy"
  xdotool click --repeat "$2" --delay 120 "$([ "$1" = up ] && echo 4 || echo 5)"
}

# do_delete yes|no KEY: Delete, and KEY will answer the box. A busy machine may leave
# Pavo's window still for a moment before the key is read: the box is waited for (an
# empty folder shows none).
do_delete() {
  monkey delete "$STATE" "$1" "$2"
  press Delete
  wait_for 5 a_box || true
}

do_goto() {
  press g
  wait_dialog "Go to" || fail "G showed no 'Go to' dialog (Pavo's windows: $(pavo_titles))"
  type_in "$DIALOG_WIN" "$1"
  press_in "$DIALOG_WIN" Return
  wait_for 10 dialog_gone "Go to" || fail "Return did not close the 'Go to' dialog after '$1'"
}

# act LINE: one action; file changes are logged as resolved, so that a log replays.
act() {
  local kind line=$1
  read -r kind _ <<<"$line"
  local -a a
  read -r -a a <<<"${line%%#*}"
  case "$kind" in
    key) log "$line"; do_key "${a[1]}" ;;
    burst) log "$line"; do_burst "${a[1]}" "${a[2]}" ;;
    wheel) log "$line"; do_wheel "${a[1]}" "${a[2]}" ;;
    delete) log "$line"; do_delete "${a[1]}" "${a[2]}" ;;
    goto) log "$line"; do_goto "${a[1]}" ;;
    resize) log "$line"; wmctrl -i -r "$PAVO_WIN" -e "0,${a[1]},${a[2]},${a[3]},${a[4]}" ;;
    maximize) log "$line"; wmctrl -i -r "$PAVO_WIN" -b toggle,maximized_vert,maximized_horz ;;
    remove | truncate | replace | garbage | rename | add)
      local resolved
      resolved=$(monkey change "$STATE" "${a[@]}") || fail "a file change failed: $resolved"
      log "$resolved"
      ;;
    *) fail "an action the monkey does not know: '$line'" ;;
  esac
}

# ---------------------------------------------------------------- one seed

# report_seed: on the way out of a seed; a failure gets the seed and its log. A Pavo
# that ended may stop the harness's own reads of its window first: that is said here.
report_seed() {
  local rc=$? failure="$E2E_WORK/failure" cause=""
  if [ -n "${PAVO_PID:-}" ] && ! kill -0 "$PAVO_PID" 2>/dev/null &&
    ! grep -qs '^Pavo ended' "$failure"; then
    cause=$(how_pavo_ended)
  elif [ "$rc" -ne 0 ] && ! [ -s "$failure" ]; then
    cause="the harness stopped with code $rc (a command failed)"
  fi
  if [ -n "$cause" ] || [ -s "$failure" ]; then
    {
      [ -z "$cause" ] || echo "$cause"
      echo "seed $SEED after $(actions_done) actions (rerun: E2E_MONKEY_SEED=$SEED;" \
        "replay a log cut down: E2E_MONKEY_PLAN=FILE):"
      sed 's/^/  /' "$SEED_DIR/actions.log"
    } >>"$failure"
  fi
  pavo_kill
}

run_seed() {
  SEED_DIR=$(mktemp -d "$E2E_WORK/seed-$SEED.XXXX")
  STATE="$SEED_DIR/state.json"
  : >"$SEED_DIR/actions.log"
  trap report_seed EXIT
  # The home and the trash live in the temp folder, on the pictures' own file system.
  export HOME="$SEED_DIR/home" XDG_DATA_HOME="$SEED_DIR/data"
  mkdir -p "$HOME" "$XDG_DATA_HOME"
  settings_write
  local start plan="$SEED_DIR/plan" deadline=$((SECONDS + BUDGET)) line
  start=$(monkey setup "$STATE" "$SEED_DIR/pictures" "$SEED")
  if [ -n "${E2E_MONKEY_PLAN:-}" ]; then
    grep -v '^ *$\|^ *#' "$E2E_MONKEY_PLAN" | sed 's/^ *//' >"$plan"
  else
    monkey plan "$SEED" "$ACTIONS" >"$plan"
  fi
  pavo_start "$start"
  judge
  while read -r line <&3; do
    [ "$SECONDS" -lt "$deadline" ] || { log "# the seed's ${BUDGET} s are up"; break; }
    answer_boxes
    act "$line"
    judge
  done 3<"$plan"
  if is_fullscreen; then
    press Escape
    wait_for 10 not_fullscreen || fail "Escape did not leave fullscreen"
    judge
  fi
  pavo_quit
  local verdict
  verdict=$(monkey store "$(settings_file)") || fail "$verdict"
  e2e_log "  seed $SEED: $(actions_done) actions"
}

# ---------------------------------------------------------------- run

x_start -screen 0 1280x800x24
wm_start openbox
a11y_start
# KP_Left is the keypad's arrow only while NumLock is off.
if xset q | grep -q 'Num Lock: *on'; then xdotool key Num_Lock; fi
seeds=${E2E_MONKEY_SEED:-"$FIXED_SEEDS $(date +%s)"}
e2e_log "seeds: $seeds (rerun one with E2E_MONKEY_SEED=N)"
for SEED in $seeds; do
  check "seed_$SEED" run_seed
done
e2e_finish
