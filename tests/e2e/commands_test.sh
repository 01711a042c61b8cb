#!/usr/bin/env bash
# End to end: Pavo's file and picture commands on a real X desktop (Xvfb, openbox). The open
# dialog driven by typing into it, a drop from another X client, Delete to the trash after
# a Yes/No box, rotate (T) and mirror (Y), merged pairs (. , L), go-to (G) and full reload
# (F5). Each is judged by what the X server reports (titles, window geometry, which window
# is active and in front, screen pixels) and by the file system.
# Usage: commands_test.sh PATH_TO_PAVO [PATH_TO_DRAG_SOURCE]
#   (E2E_ONLY="check names" runs a subset; the drag source defaults to tests/pavo_drag_source
#   of the build folder that holds Pavo)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
source "$here/lib.sh"
e2e_init "${1:?usage: commands_test.sh PATH_TO_PAVO [PATH_TO_DRAG_SOURCE]}" commands
DRAG_SOURCE=${2:-$(dirname "$E2E_PAVO")/tests/pavo_drag_source}
e2e_need Xvfb xdpyinfo xwininfo xprop xdotool import convert od awk cmp

# The home and the trash live in the temp folder, on the pictures' own file system, so the
# file system's trash is the home trash: $XDG_DATA_HOME/Trash.
export HOME="$E2E_WORK/home" XDG_DATA_HOME="$E2E_WORK/data"
mkdir -p "$HOME" "$XDG_DATA_HOME"

RED='#FF0000' GREEN='#00FF00' BLUE='#0000FF' YELLOW='#FFFF00' BLACK='#000000'
OPEN_TITLE="Choose one or more files to open"

# ---------------------------------------------------------------- small judgements

title() { xdotool getwindowname "$PAVO_WIN" 2>/dev/null; }

# shows_title PATH WHAT: the title must become the path (within 10 s).
shows_title() {
  wait_for 10 title_is "$1" || fail "$2: expected the title '$1', it is '$(title)'"
}

# shows_colour COLOUR WHAT: once the window is at rest, its centre has that colour.
shows_colour() {
  settle
  wait_for 5 centre_is "$1" || fail "$2: the centre of the view $(rect_text "$CLIENT") shows $SEEN, expected $1"
}

# Level 2 leaves no menu bar in the client window, so the client is the image view.
chrome_level_2() {
  local before
  before=$(outer_rect)
  press 2
  settle_after_change "$before"
}

# quadrants: QUADS := the colours at the centres of the view's four quarters, "TL TR BL BR".
quadrants() {
  local x y w h
  read -r x y w h <<<"$CLIENT"
  shot
  QUADS="$(pixel $((x + w / 4)) $((y + h / 4))) $(pixel $((x + 3 * w / 4)) $((y + h / 4))) $(pixel $((x + w / 4)) $((y + 3 * h / 4))) $(pixel $((x + 3 * w / 4)) $((y + 3 * h / 4)))"
}
quadrants_are() { quadrants; [ "$QUADS" = "$1" ]; }

# runs X Y W H: the colour runs along a one pixel line of the last shot, "#RRGGBB:LENGTH ...".
runs() {
  convert -size "${E2E_ROOT_W}x${E2E_ROOT_H}" -depth 8 "rgb:$E2E_WORK/shot.rgb" \
    -crop "${3}x${4}+${1}+${2}" +repage txt:- |
    awk '/^[0-9]/ { c = $3; if (c == last) n++; else { if (n) printf "%s:%d ", last, n; last = c; n = 1 } }
         END { if (n) printf "%s:%d", last, n }'
}

# trim RUNS: TRIMMED := the runs without a black run at either end; LEAD := the length of
# the black run at the start (0 when none).
trim() {
  local r
  read -r -a r <<<"$1"
  LEAD=0
  if [ "${#r[@]}" -gt 0 ] && [[ ${r[0]} == "$BLACK":* ]]; then
    LEAD=${r[0]#*:}
    r=("${r[@]:1}")
  fi
  [ "${#r[@]}" -gt 0 ] && [[ ${r[-1]} == "$BLACK":* ]] && unset 'r[-1]'
  TRIMMED="${r[*]}"
}

# ---------------------------------------------------------------- 1: the open dialog

# dialog_choose PATH: types the full path into the file dialog's name field and accepts it.
dialog_choose() {
  type_in "$DIALOG_WIN" "$1"
  sleep 0.3  # the field's completer catches up with the typed text before Return
  press_in "$DIALOG_WIN" Return
  wait_for 10 dialog_gone "$OPEN_TITLE" || fail "the file dialog stayed open after '$1' and Return (Pavo's windows: $(pavo_titles))"
}

# An empty window's double click and the menu (Alt+F, P) open the file dialog; a chosen
# file is shown and its folder is the playlist; cancelling changes nothing.
check_open_dialog() {
  settings_write
  local dir="$E2E_WORK/open" other="$E2E_WORK/open other"
  image "$dir/red.png" 400 300 "$RED"
  image "$dir/zz blue.png" 300 400 "$BLUE"
  image "$other/green.png" 300 400 "$GREEN"
  pavo_start
  settle
  local x y w h
  read -r x y w h <<<"$CLIENT"
  xdotool mousemove --sync $((x + w / 2)) $((y + h / 2)) click --repeat 2 --delay 80 1
  wait_dialog "$OPEN_TITLE" ||
    fail "a double click on the empty window did not open '$OPEN_TITLE' (Pavo's windows: $(pavo_titles))"
  dialog_choose "$dir/red.png"
  shows_title "$dir/red.png" "the file chosen after a double click"
  shows_colour "$RED" "the file chosen after a double click"
  press Right
  shows_title "$dir/zz blue.png" "Right after choosing one file should step through its folder"
  shows_colour "$BLUE" "Right after choosing one file"

  press alt+f p
  wait_dialog "$OPEN_TITLE" || fail "Alt+F, P did not open '$OPEN_TITLE' (Pavo's windows: $(pavo_titles))"
  press_in "$DIALOG_WIN" Escape
  wait_for 10 dialog_gone "$OPEN_TITLE" || fail "Escape did not close the file dialog"
  shows_title "$dir/zz blue.png" "the cancelled dialog should change nothing"
  shows_colour "$BLUE" "the cancelled dialog should change nothing"

  press alt+f p
  wait_dialog "$OPEN_TITLE" || fail "Alt+F, P did not open '$OPEN_TITLE' a second time (Pavo's windows: $(pavo_titles))"
  dialog_choose "$other/green.png"
  shows_title "$other/green.png" "the file chosen through the menu"
  shows_colour "$GREEN" "the file chosen through the menu"
}

# ---------------------------------------------------------------- 2: a drop from another client

# stacking: the client windows from the bottom to the top, as the window manager stacks them.
stacking() { root_prop _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/,//g'; }

# on_top WIN: WIN is the topmost client and the active window.
on_top() {
  local s
  s=$(stacking)
  [ "$(printf '%d' "${s##* }")" = "$(printf '%d' "$1")" ] && [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]
}

# drop_from_source WHAT PATH...: a drag source window placed over Pavo's top-left corner,
# the active window; a button drag from it onto the centre of Pavo's view.
drop_from_source() {
  local what=$1
  shift
  local x y w h
  read -r x y w h <<<"$CLIENT"
  "$DRAG_SOURCE" $((x + 20)) $((y + 20)) "$@" >"$E2E_WORK/source.log" 2>&1 &
  SOURCE_PID=$!
  SOURCE_WIN=
  wait_for 10 source_shown || fail "$what: the drag source showed no window$(tail -n 3 "$E2E_WORK/source.log" | tr '\n' ' ')"
  focus_window "$SOURCE_WIN"
  wait_for 5 on_top "$SOURCE_WIN" || fail "$what: the drag source did not come in front of Pavo (stacking: $(stacking))"
  local sx sy sw sh
  read -r sx sy sw sh < <(xwininfo -id "$SOURCE_WIN" | awk '/Absolute upper-left X:/ { x = $NF } /Absolute upper-left Y:/ { y = $NF } /^ *Width:/ { w = $NF } /^ *Height:/ { h = $NF } END { print x, y, w, h }')
  drag 1 $((sx + sw / 2)) $((sy + sh / 2)) $((x + w * 2 / 3)) $((y + h * 2 / 3))
  wait_for 10 grep -q '^drag ended' "$E2E_WORK/source.log" || fail "$what: the drag did not end within 10 s"
  DROP_RESULT=$(sed -n 's/^drag ended: //p' "$E2E_WORK/source.log")
}
source_shown() {
  kill -0 "$SOURCE_PID" 2>/dev/null || fail "the drag source ended at start: $(tail -n 3 "$E2E_WORK/source.log" | tr '\n' ' ')"
  SOURCE_WIN=$(xdotool search --onlyvisible --pid "$SOURCE_PID" 2>/dev/null | head -n 1)
  [ -n "$SOURCE_WIN" ]
}
source_end() {
  [ -n "${SOURCE_PID:-}" ] || return 0
  kill "$SOURCE_PID" 2>/dev/null || true
  wait "$SOURCE_PID" 2>/dev/null || true
  SOURCE_PID=
}

# A file and then a folder dragged from another client onto Pavo: shown, and Pavo's window
# comes to the front.
check_drop() {
  [ -x "$DRAG_SOURCE" ] || fail "no drag source at $DRAG_SOURCE (the pavo_drag_source target builds it)"
  SOURCE_PID=
  trap 'source_end; pavo_kill' EXIT
  settings_write
  local start="$E2E_WORK/drop/start/yellow.png" file="$E2E_WORK/drop/files/green.png"
  local folder="$E2E_WORK/drop/folder"
  image "$start" 400 300 "$YELLOW"
  image "$file" 400 300 "$GREEN"
  image "$folder/b blue.png" 300 400 "$BLUE"
  image "$folder/c red.png" 400 300 "$RED"
  pavo_start "$start"
  shows_title "$start" "the start"
  shows_colour "$YELLOW" "the start"

  drop_from_source "the file drop" "$file"
  shows_title "$file" "the dropped file (the drag ended as '$DROP_RESULT')"
  wait_for 5 on_top "$PAVO_WIN" ||
    miss "after the file drop Pavo's window ($PAVO_WIN) should be active and on top; active: $(xdotool getactivewindow), stacking bottom to top: $(stacking) (the drag source is $SOURCE_WIN)"
  shows_colour "$GREEN" "the dropped file"
  [ "$DROP_RESULT" = copy ] || miss "the drag source reports the file drop as '$DROP_RESULT', expected Pavo to accept it as a copy"
  source_end

  drop_from_source "the folder drop" "$folder"
  shows_title "$folder/b blue.png" "the dropped folder should show its first picture (the drag ended as '$DROP_RESULT')"
  wait_for 5 on_top "$PAVO_WIN" ||
    miss "after the folder drop Pavo's window ($PAVO_WIN) should be active and on top; active: $(xdotool getactivewindow), stacking bottom to top: $(stacking) (the drag source is $SOURCE_WIN)"
  shows_colour "$BLUE" "the dropped folder"
  source_end
  press Right
  shows_title "$folder/c red.png" "Right after the folder drop should step through that folder"
  shows_colour "$RED" "Right after the folder drop"
}

# ---------------------------------------------------------------- 3: delete to the trash

# Delete asks first: No keeps everything; Yes moves the shown file to the trash of its file
# system, with its .trashinfo, and shows the file that took its place. The folder's name is
# not UTF-8 ("delete" and the byte FF); beside it lies the folder a lossy decoding makes of
# that name (FF read as U+FFFD), which is also how titles spell the path, with a b.png of
# its own that must stay.
check_delete() {
  settings_write
  local dir="$E2E_WORK/delete"$'\xff' shown="$E2E_WORK/delete"$'\xef\xbf\xbd'
  local trash="$XDG_DATA_HOME/Trash"
  image "$dir/a.png" 300 200 "$RED"
  image "$dir/b.png" 300 200 "$GREEN"
  image "$dir/c.png" 300 200 "$BLUE"
  image "$shown/b.png" 300 200 "$YELLOW"
  cp "$dir/b.png" "$E2E_WORK/b copy.png"
  cp "$shown/b.png" "$E2E_WORK/lookalike copy.png"
  pavo_start "$dir/b.png"
  shows_title "$shown/b.png" "the start"
  shows_colour "$GREEN" "the start"

  press Delete
  wait_dialog "Delete file" || fail "Delete showed no 'Delete file' box (Pavo's windows: $(pavo_titles))"
  press_in "$DIALOG_WIN" n
  wait_for 10 dialog_gone "Delete file" || fail "N (No) did not close the 'Delete file' box"
  [ -f "$dir/b.png" ] || fail "after answering No the file $dir/b.png is gone"
  [ -z "$(ls -A "$trash/files" 2>/dev/null)" ] || miss "after answering No the trash holds: $(ls -A "$trash/files")"
  shows_title "$shown/b.png" "answering No should change nothing"
  shows_colour "$GREEN" "answering No should change nothing"

  press Delete
  wait_dialog "Delete file" || fail "Delete showed no 'Delete file' box the second time (Pavo's windows: $(pavo_titles))"
  press_in "$DIALOG_WIN" Return
  wait_for 10 dialog_gone "Delete file" || fail "Return (Yes) did not close the 'Delete file' box"
  # The trash is written right after the box closes.
  wait_for 10 test -e "$trash/files/b.png" || true
  cmp -s "$shown/b.png" "$E2E_WORK/lookalike copy.png" ||
    fail "the other folder's b.png went to the trash instead of the shown one"
  shows_title "$shown/c.png" "after deleting b.png the file that took its place"
  shows_colour "$BLUE" "after deleting b.png"
  [ ! -e "$dir/b.png" ] || fail "after answering Yes $dir/b.png is still there"
  [ -f "$dir/a.png" ] && [ -f "$dir/c.png" ] || fail "the neighbours were touched: $(ls -A "$dir" | tr '\n' ' ')"
  [ -f "$trash/files/b.png" ] ||
    fail "b.png is not in the trash $trash/files (it holds: $(ls -A "$trash/files" 2>&1 | tr '\n' ' '); trash folders elsewhere: $(find / -xdev -maxdepth 3 -name '.Trash*' 2>/dev/null | tr '\n' ' '))"
  cmp -s "$trash/files/b.png" "$E2E_WORK/b copy.png" || miss "the trashed b.png differs from the file deleted"
  local info="$trash/info/b.png.trashinfo"
  [ -f "$info" ] || fail "the trash has b.png but no $info (info holds: $(ls -A "$trash/info" 2>&1 | tr '\n' ' '))"
  # The path as the trash writes it: a URI path, the byte that is not UTF-8 as %FF.
  { [ "$(sed -n 1p "$info")" = "[Trash Info]" ] && grep -qx "Path=$E2E_WORK/delete%FF/b.png" "$info" &&
    grep -qE '^DeletionDate=[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}$' "$info"; } ||
    miss "$info should name [Trash Info], Path=$E2E_WORK/delete%FF/b.png and a DeletionDate; it holds: $(tr '\n' '|' <"$info")"
}

# ---------------------------------------------------------------- 4: rotate and mirror

# An image of four coloured quarters: T turns it a quarter clockwise and refits the window
# to the turned shape; four turns are the image again; Y mirrors it left to right; a step
# away and back shows it as it was left.
check_rotate_mirror() {
  settings_write
  local dir="$E2E_WORK/turn" original="$RED $GREEN $BLUE $YELLOW"
  image "$dir/a quarters.png" 400 300 "$RED" -fill "$GREEN" -draw 'rectangle 200,0 399,149' \
    -fill "$BLUE" -draw 'rectangle 0,150 199,299' -fill "$YELLOW" -draw 'rectangle 200,150 399,299'
  image "$dir/b other.png" 400 300 "$BLACK"
  pavo_start "$dir/a quarters.png"
  settle
  chrome_level_2
  wait_for 5 quadrants_are "$original" || fail "the quarters show '$QUADS' (TL TR BL BR), expected '$original'"
  local w h landscape=$CLIENT
  read -r _ _ w h <<<"$CLIENT"
  [ "$w" -gt "$h" ] || fail "the 400x300 image should give a landscape view, the X server reports $(say_rect "$OUTER")"

  press t
  settle_after_change "$OUTER"
  local turned="$BLUE $RED $YELLOW $GREEN"
  wait_for 5 quadrants_are "$turned" ||
    fail "after T the quarters show '$QUADS' (TL TR BL BR), expected a quarter turn clockwise '$turned'"
  read -r _ _ w h <<<"$CLIENT"
  [ $((w * 4 - h * 3)) -ge -8 ] && [ $((w * 4 - h * 3)) -le 8 ] ||
    miss "after T the view should be refitted to 3:4, the X server reports $(say_rect "$OUTER") (before: client $(rect_text "$landscape"))"

  press t t t
  settle
  wait_for 5 quadrants_are "$original" ||
    fail "after four quarter turns the quarters show '$QUADS', expected the image as it was '$original'"
  [ "$CLIENT" = "$landscape" ] || miss "after four quarter turns the view should be back at $(rect_text "$landscape"), the X server reports $(say_rect "$OUTER")"

  press y
  local mirrored="$GREEN $RED $YELLOW $BLUE"
  wait_for 5 quadrants_are "$mirrored" ||
    fail "after Y the quarters show '$QUADS' (TL TR BL BR), expected the image mirrored left to right '$mirrored'"
  settle
  [ "$CLIENT" = "$landscape" ] || miss "Y should keep the view at $(rect_text "$landscape"), the X server reports $(say_rect "$OUTER")"

  press t
  settle_after_change "$OUTER"
  local mirrored_turned="$YELLOW $GREEN $BLUE $RED"
  wait_for 5 quadrants_are "$mirrored_turned" ||
    fail "after Y, T the quarters show '$QUADS', expected '$mirrored_turned'"
  press Right
  shows_title "$dir/b other.png" "Right after turning"
  press Left
  shows_title "$dir/a quarters.png" "Left back to the turned image"
  settle
  wait_for 5 quadrants_are "$mirrored_turned" ||
    miss "stepping away and back should show the image as it was left '$mirrored_turned', the quarters show '$QUADS'"
}

# ---------------------------------------------------------------- 5: merged pairs

# pair_is LEFT RIGHT: the view shows two images side by side, top edges level and at one
# common height, each at its own aspect ratio (LEFT and RIGHT are "#RRGGBB:WIDTH:HEIGHT" of
# the images), the pair filling the view's height or its width.
pair_is() {
  local x y w h lc lw lh rc rw rh
  IFS=: read -r lc lw lh <<<"$1"
  IFS=: read -r rc rw rh <<<"$2"
  read -r x y w h <<<"$CLIENT"
  shot
  local row left_w right_w left_x
  trim "$(runs "$x" $((y + h / 2)) "$w" 1)"
  row=$TRIMMED left_x=$((x + LEAD))
  if ! [[ $row =~ ^($lc):([0-9]+)\ ($rc):([0-9]+)$ ]]; then
    PAIR="across the middle of the view $(rect_text "$CLIENT") the colour runs are '$row' (black ends left out), expected $lc then $rc"
    return 1
  fi
  left_w=${BASH_REMATCH[2]} right_w=${BASH_REMATCH[4]}
  local left_col right_col left_h right_h left_top right_top
  trim "$(runs $((left_x + left_w / 2)) "$y" 1 "$h")"
  left_col=$TRIMMED left_top=$LEAD left_h=${TRIMMED##*:}
  trim "$(runs $((left_x + left_w + right_w / 2)) "$y" 1 "$h")"
  right_col=$TRIMMED right_top=$LEAD right_h=${TRIMMED##*:}
  PAIR="$lc ${left_w}x${left_h} at +$((left_x - x))+$left_top beside $rc ${right_w}x${right_h} at +$((left_x + left_w - x))+$right_top in the view $(rect_text "$CLIENT")"
  if ! [[ $left_col =~ ^$lc:[0-9]+$ ]] || ! [[ $right_col =~ ^$rc:[0-9]+$ ]]; then
    PAIR+=" (the columns down the middle of each show '$left_col' and '$right_col', black ends left out)"
    return 1
  fi
  [ $((left_h - right_h)) -ge -1 ] && [ $((left_h - right_h)) -le 1 ] &&
    [ $((left_top - right_top)) -ge -1 ] && [ $((left_top - right_top)) -le 1 ] || return 1
  # Each keeps its ratio within 2 pixels of its width.
  local d1=$((left_w * lh - left_h * lw)) d2=$((right_w * rh - right_h * rw))
  [ "${d1#-}" -le $((2 * lh)) ] && [ "${d2#-}" -le $((2 * rh)) ] || return 1
  # The pair fills the view's height or its width.
  [ $((h - left_h)) -le 2 ] || [ $((w - left_w - right_w)) -le 2 ]
}

# wait_pair LEFT RIGHT WHAT: once at rest, the view shows that pair.
wait_pair() {
  settle
  wait_for 5 pair_is "$1" "$2" || fail "$3: $PAIR"
  e2e_log "  $3: $PAIR"
}

# Merge forward shows the image and the next one side by side at one height; L swaps them;
# a step moves by the pair and wraps at the end; merge backward pairs with the previous one.
check_merge() {
  settings_write
  local dir="$E2E_WORK/merge"
  image "$dir/a.png" 400 300 "$RED"
  image "$dir/b.png" 300 400 "$GREEN"
  image "$dir/c.png" 500 250 "$BLUE"
  local a="$RED:400:300" b="$GREEN:300:400" c="$BLUE:500:250"
  pavo_start "$dir/a.png"
  settle
  chrome_level_2
  shows_colour "$RED" "the start"
  press period
  wait_pair "$a" "$b" ". on a.png should show a.png (red) and b.png (green)"
  press l
  wait_pair "$b" "$a" "L should swap the pair"
  press l
  wait_pair "$a" "$b" "L again should swap it back"
  press Right
  wait_pair "$c" "$a" "Right from the pair a, b should show c.png and, wrapped, a.png"
  press comma
  wait_pair "$b" "$c" ", on c.png should show the previous b.png (green) and c.png"
  press comma
  shows_colour "$BLUE" ", again should end the merge and show c.png alone"
  read -r _ _ w h <<<"$CLIENT"
  [ $((w - 2 * h)) -ge -4 ] && [ $((w - 2 * h)) -le 4 ] ||
    miss "c.png alone (500x250) should get a 2:1 view, the X server reports $(say_rect "$OUTER")"
}

# ---------------------------------------------------------------- 6: go to

# goto_number TEXT: G, the number typed into the "Go to" dialog, Return.
goto_number() {
  press g
  wait_dialog "Go to" || fail "G showed no 'Go to' dialog (Pavo's windows: $(pavo_titles))"
  type_in "$DIALOG_WIN" "$1"
  press_in "$DIALOG_WIN" Return
  wait_for 10 dialog_gone "Go to" || fail "Return did not close the 'Go to' dialog after typing '$1'"
}

# G with a number in range shows that image; a number past the end shows the last one.
check_go_to() {
  settings_write
  local dir="$E2E_WORK/goto"
  image "$dir/1.png" 300 200 "$RED"
  image "$dir/2.png" 300 200 "$GREEN"
  image "$dir/3.png" 300 200 "$BLUE"
  image "$dir/4.png" 300 200 "$YELLOW"
  pavo_start "$dir/1.png"
  shows_title "$dir/1.png" "the start"
  goto_number 3
  shows_title "$dir/3.png" "G, 3, Return"
  shows_colour "$BLUE" "G, 3, Return"
  goto_number 9
  shows_title "$dir/4.png" "G, 9, Return among 4 images should show the last one"
  shows_colour "$YELLOW" "G, 9, Return"
}

# ---------------------------------------------------------------- 7: full reload

# The shown file deleted behind Pavo's back: F5 shows the file that took its place.
check_full_reload() {
  settings_write
  local dir="$E2E_WORK/reload"
  image "$dir/a.png" 300 200 "$RED"
  image "$dir/b.png" 300 200 "$GREEN"
  image "$dir/c.png" 300 200 "$BLUE"
  pavo_start "$dir/b.png"
  shows_title "$dir/b.png" "the start"
  shows_colour "$GREEN" "the start"
  rm "$dir/b.png"
  press F5
  shows_title "$dir/c.png" "F5 after b.png was deleted"
  shows_colour "$BLUE" "F5 after b.png was deleted"
  press Left
  shows_title "$dir/a.png" "Left after the full reload"
  press Right
  shows_title "$dir/c.png" "Right after the full reload should skip the deleted b.png"
}

# ---------------------------------------------------------------- run

x_start -screen 0 1280x800x24
wm_start openbox
e2e_log "$(xdpyinfo | sed -n 's/^ *dimensions: *\([0-9x]*\).*/\1/p') under openbox"
for name in open_dialog drop delete rotate_mirror merge go_to full_reload; do
  check "$name" "check_$name"
done
e2e_finish
