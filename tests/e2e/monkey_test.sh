#!/usr/bin/env bash
# End to end: a seeded monkey under openbox (README.md); monkey.py plans the actions and
# judges the title, the folder and the trash after each.
# Usage: monkey_test.sh PATH_TO_PAVO   (E2E_MONKEY_SEED=N runs that seed only, else the fixed
#   seeds and one from the clock; E2E_MONKEY_ACTIONS=N actions per seed, 25)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
source "$here/lib.sh"
e2e_init "${1:?usage: monkey_test.sh PATH_TO_PAVO}" monkey
e2e_need Xvfb xdpyinfo xwininfo xprop xdotool wmctrl import convert python3

PYTHON=$(python3 -c 'import sys; print(sys.executable)')  # past any wrapper: called often
monkey() { "$PYTHON" "$here/monkey.py" "$@" 2>&1; }
log() { echo "$*" >>"$SEED_DIR/actions.log"; }
pavo_ended() { pavo_reap; echo "Pavo ended (exit code $PAVO_CODE$([ "$PAVO_CODE" -le 128 ] || echo ", SIG$(kill -l "$PAVO_CODE")"))$(pavo_log_tail)"; }
alive() { kill -0 "$PAVO_PID" 2>/dev/null || fail "$(pavo_ended)"; }

# rest: Pavo, which answers the window manager too, has used no processor time for 0.3 s.
rest() {
  local last=-1 now same=0 deadline=$((SECONDS + 15))
  while [ "$same" -lt 3 ]; do
    alive && now=$(cpu_ticks)
    if [ "$now" = "$last" ]; then same=$((same + 1)); else same=0 last=$now; fi
    [ "$SECONDS" -lt "$deadline" ] || fail "Pavo did not come to rest within 15 s"
    sleep 0.1
  done
}

# a_box: BOX := one of Pavo's visible windows other than its main window, if any.
a_box() { BOX=$(xdotool search --onlyvisible --pid "$PAVO_PID" 2>/dev/null | grep -vx "$PAVO_WIN" | head -n 1); [ -n "$BOX" ]; }
box_gone() { ! xdotool search --onlyvisible --pid "$PAVO_PID" 2>/dev/null | grep -qx "$BOX"; }
delete_done() { a_box || ! [ -e "$CONFIRMED" ]; }

# answer_boxes: each box is judged by its caption (its window title) and answered. Delete
# alone asks; before Yes, the main window's title names the file that may leave.
answer_boxes() {
  local n=0 caption key
  while a_box; do
    [ $((n += 1)) -le 8 ] || fail "Pavo keeps showing boxes: $(pavo_titles)"
    caption=$(xdotool getwindowname "$BOX" 2>/dev/null) key=Return CONFIRMED=''
    case "$caption" in
      "Not Supported" | "Delete failed") ;;
      "Delete file")
        [ -n "$DELETE_KEY" ] && key=$DELETE_KEY || fail "a 'Delete file' box that no Delete asked for"
        [ "$DELETE_YES" = no ] || CONFIRMED=$(monkey confirm "$STATE" "$(title)") || fail "$CONFIRMED" ;;
      *) fail "a box Pavo never shows here: '$caption'" ;;
    esac
    log "  # box '$caption' over '$(title)': $key"
    press_in "$BOX" "$key" && wait_for 10 box_gone || fail "the box '$caption' stayed after $key"
    [ -z "$CONFIRMED" ] || wait_for 10 delete_done || true
    rest
  done
}

judge() {
  rest; answer_boxes; DELETE_KEY=''
  VERDICT=$(monkey check "$STATE" "$(title)" "$XDG_DATA_HOME/Trash") || fail "$VERDICT"
}

act() {
  local a x y w h out
  read -r -a a <<<"$1"
  log "$1"
  case "${a[0]}" in
    key) if [ "${a[1]}" != Escape ] || is_fullscreen; then press "${a[1]}"; fi ;;
    burst) focus && xdotool key --delay 5 "${a[@]:1}" ;;
    wheel)
      read -r x y w h <<<"$(client_rect)"
      focus && xdotool mousemove --sync $((x + w / 2)) $((y + h / 2)) click --repeat "${a[2]}" --delay 120 "${a[1]}" ;;
    delete)  # a busy machine may read the key late; no box comes when the folder is empty
      DELETE_YES=${a[1]} DELETE_KEY=${a[2]}; press Delete; wait_for 5 a_box || true ;;
    goto)
      press g && wait_dialog "Go to" || fail "G showed no 'Go to' dialog (Pavo's windows: $(pavo_titles))"
      type_in "$DIALOG_WIN" "${a[1]}" && press_in "$DIALOG_WIN" Return && wait_for 10 dialog_gone "Go to" || fail "Return did not close the 'Go to' dialog" ;;
    resize) wmctrl -i -r "$PAVO_WIN" -e "0,${a[1]}" ;;
    maximize) wmctrl -i -r "$PAVO_WIN" -b toggle,maximized_vert,maximized_horz ;;
    *) out=$(monkey change "$STATE" "${a[@]}") || fail "a file change failed: $out"; log "$out" ;;
  esac
}

# report_seed: a seed that failed is told with how Pavo ended, the seed and its actions.
report_seed() {
  local rc=$? failure="$E2E_WORK/failure"
  [ -z "${PAVO_PID:-}" ] || kill -0 "$PAVO_PID" 2>/dev/null || grep -qs '^Pavo ended' "$failure" || pavo_ended >>"$failure"
  [ "$rc" -eq 0 ] && ! [ -s "$failure" ] ||
    { echo "seed $SEED (rerun: E2E_MONKEY_SEED=$SEED), its actions:"; sed 's/^/  /' "$SEED_DIR/actions.log"; } >>"$failure"
  pavo_kill
}

run_seed() {
  SEED_DIR=$(mktemp -d "$E2E_WORK/seed-$SEED.XXXX")
  STATE="$SEED_DIR/state.json" DELETE_KEY='' DELETE_YES=''
  trap report_seed EXIT
  # The home and the trash live in the temp folder, on the pictures' own file system.
  export HOME="$SEED_DIR/home" XDG_DATA_HOME="$SEED_DIR/data"
  mkdir -p "$HOME" "$XDG_DATA_HOME"
  settings_write
  local start line
  start=$(monkey setup "$STATE" "$SEED_DIR/pictures" "$SEED")
  log "# starts on $start"
  pavo_start "$start"
  judge
  while read -r line <&3; do answer_boxes; act "$line"; judge; done 3< <(monkey plan "$SEED" "${E2E_MONKEY_ACTIONS:-25}")
  ! is_fullscreen || press Escape  # leaves fullscreen; the next Escape quits
  pavo_quit
  [ "$(stored_placement | wc -w)" = 5 ] || fail "the store lacks part of the placement after Esc: $(head -c 600 "$(settings_file)")"
}

x_start -screen 0 1280x800x24
wm_start openbox
# Seed 895 starts on the picture whose name is not UTF-8 and deletes it (Yes) first.
for SEED in ${E2E_MONKEY_SEED:-1 895 $(date +%s)}; do check "seed_$SEED" run_seed; done
e2e_finish
