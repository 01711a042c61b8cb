#!/usr/bin/env bash
# End to end: Pavo's file and picture commands under openbox (README.md), judged by what the
# X server reports (titles, geometry, the active and topmost window, pixels) and the files.
# Usage: commands_test.sh PATH_TO_PAVO [PATH_TO_DRAG_SOURCE]   (E2E_ONLY="check names" runs a
#   subset; the drag source defaults to tests/pavo_drag_source beside Pavo)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
source "$here/lib.sh"
e2e_init "${1:?usage: commands_test.sh PATH_TO_PAVO [PATH_TO_DRAG_SOURCE]}" commands
DRAG_SOURCE=${2:-$(dirname "$E2E_PAVO")/tests/pavo_drag_source}
e2e_need Xvfb xdpyinfo xwininfo xprop xdotool import convert od awk heif-enc avifenc cjxl img2webp

# The home and the data folder live in the temp folder, away from the user's.
export HOME="$E2E_WORK/home" XDG_DATA_HOME="$E2E_WORK/data"
mkdir -p "$HOME" "$XDG_DATA_HOME"

RED='#FF0000' GREEN='#00FF00' BLUE='#0000FF' YELLOW='#FFFF00'
OPEN_TITLE="Choose one or more files to open"

# shows PATH COLOUR WHAT: the title becomes the path and, at rest, the view's centre that colour.
shows() {
  wait_for 10 title_is "$1" || fail "$3: expected the title '$1', it is '$(title)'"
  settle
  wait_for 5 centre_is "$2" || fail "$3: the centre of the view $(rect_text "$CLIENT") shows $SEEN, expected $2"
}

# open_dialog TITLE KEYS...: the keys (or a double click, for "click") open Pavo's dialog of that title.
open_dialog() {
  local title=$1 x y w h
  shift
  read -r x y w h <<<"$CLIENT"
  if [ "$1" = click ]; then xdotool mousemove --sync $((x + w / 2)) $((y + h / 2)) click --repeat 2 --delay 80 1; else press "$@"; fi
  wait_dialog "$title" || fail "${*/#click/a double click on the empty window} did not open '$title' (Pavo's windows: $(pavo_titles))"
}

# answer_dialog TITLE TEXT: the text typed into the dialog's field, then Return, which closes it.
answer_dialog() {
  type_in "$DIALOG_WIN" "$2"
  sleep 0.3  # the field's completer catches up with the typed text before Return
  press_in "$DIALOG_WIN" Return
  wait_for 10 dialog_gone "$1" || fail "'$1' stayed open after '$2' and Return (Pavo's windows: $(pavo_titles))"
}

# An empty window's double click and the menu (Alt+F, P) open Qt's file dialog; the file
# typed into it is shown and its folder is the playlist: G, 2 goes to the folder's second
# picture (what is typed replaces the position the field shows); cancelling changes nothing.
check_open_dialog() {
  settings_write
  local dir="$E2E_WORK/open" other="$E2E_WORK/open other"
  image "$dir/red.png" 400 300 "$RED"
  image "$dir/s yellow.png" 300 400 "$YELLOW"
  image "$dir/zz blue.png" 300 400 "$BLUE"
  image "$other/green.png" 300 400 "$GREEN"
  pavo_start
  settle
  open_dialog "$OPEN_TITLE" click
  answer_dialog "$OPEN_TITLE" "$dir/red.png"
  shows "$dir/red.png" "$RED" "the file chosen after a double click"
  open_dialog "Go to" g
  answer_dialog "Go to" 2
  shows "$dir/s yellow.png" "$YELLOW" "G, 2, Return should go to the second picture of the chosen file's folder"
  open_dialog "$OPEN_TITLE" alt+f p
  press_in "$DIALOG_WIN" Escape && wait_for 10 dialog_gone "$OPEN_TITLE" || fail "Escape did not close the file dialog"
  shows "$dir/s yellow.png" "$YELLOW" "the cancelled dialog should change nothing"
  open_dialog "$OPEN_TITLE" alt+f p
  answer_dialog "$OPEN_TITLE" "$other/green.png"
  shows "$other/green.png" "$GREEN" "the file chosen through the menu"
}

# stacking: the client windows from the bottom to the top; on_top WIN: WIN is the topmost
# and the active window.
stacking() { root_prop _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/,//g'; }
on_top() { local s && s=$(stacking) && [ "$((${s##* }))" = "$(($1))" ] && active_is "$1"; }

# drop WHAT SHOWN COLOUR PATH: a drag source window placed over Pavo's top-left corner and
# made the active window; a button drag of PATH from it onto Pavo's view, which then shows
# SHOWN and comes in front. DROP_RESULT := how the drag ended.
drop() {
  local what=$1 x y w h sx sy sw sh
  source_end
  read -r x y w h <<<"$CLIENT"
  "$DRAG_SOURCE" $((x + 20)) $((y + 20)) "$4" >"$E2E_WORK/source.log" 2>&1 &
  SOURCE_PID=$!
  wait_for 10 source_shown || fail "$what: the drag source showed no window$(tail -n 3 "$E2E_WORK/source.log" | tr '\n' ' ')"
  focus_window "$SOURCE_WIN"
  wait_for 5 on_top "$SOURCE_WIN" || fail "$what: the drag source did not come in front of Pavo (stacking: $(stacking))"
  read -r sx sy sw sh < <(PAVO_WIN=$SOURCE_WIN client_rect)
  drag 1 $((sx + sw / 2)) $((sy + sh / 2)) $((x + w * 2 / 3)) $((y + h * 2 / 3))
  wait_for 10 grep -q '^drag ended' "$E2E_WORK/source.log" || fail "$what: the drag did not end within 10 s"
  DROP_RESULT=$(sed -n 's/^drag ended: //p' "$E2E_WORK/source.log")
  shows "$2" "$3" "$what (the drag ended as '$DROP_RESULT')"
  wait_for 5 on_top "$PAVO_WIN" ||
    miss "after $what Pavo's window ($PAVO_WIN) should be active and on top; active: $(xdotool getactivewindow), stacking bottom to top: $(stacking) (the drag source is $SOURCE_WIN)"
}
source_shown() {
  kill -0 "$SOURCE_PID" 2>/dev/null || fail "the drag source ended at start: $(tail -n 3 "$E2E_WORK/source.log" | tr '\n' ' ')"
  SOURCE_WIN=$(xdotool search --onlyvisible --pid "$SOURCE_PID" 2>/dev/null | head -n 1) && [ -n "$SOURCE_WIN" ]
}
source_end() { if [ -n "${SOURCE_PID:-}" ] && kill "$SOURCE_PID" 2>/dev/null; then wait "$SOURCE_PID" 2>/dev/null || true; fi; SOURCE_PID=; }

# A file and then a folder dragged from another client onto Pavo: shown, taken as a copy.
check_drop() {
  [ -x "$DRAG_SOURCE" ] || fail "no drag source at $DRAG_SOURCE (the pavo_drag_source target builds it)"
  SOURCE_PID=
  trap 'source_end; pavo_kill' EXIT
  settings_write
  local start="$E2E_WORK/drop/start/yellow.png" file="$E2E_WORK/drop/files/green.png" folder="$E2E_WORK/drop/folder"
  image "$start" 400 300 "$YELLOW"
  image "$file" 400 300 "$GREEN"
  image "$folder/b blue.png" 300 400 "$BLUE"
  image "$folder/c red.png" 400 300 "$RED"
  pavo_start "$start"
  shows "$start" "$YELLOW" "the start"
  drop "the file drop" "$file" "$GREEN" "$file"
  [ "$DROP_RESULT" = copy ] || miss "the drag source reports the file drop as '$DROP_RESULT', expected Pavo to accept it as a copy"
  drop "the folder drop, which shows its first picture," "$folder/b blue.png" "$BLUE" "$folder"
  source_end
  press Right
  shows "$folder/c red.png" "$RED" "Right after the folder drop should step through that folder"
}

# quadrants_are "TL TR BL BR": the colours at the centres of the view's four quarters.
quadrants_are() { QUADS=$(colours_at "1 1" "3 1" "1 3" "3 3"); [ "$QUADS" = "$1" ]; }

# T turns a picture of four coloured quarters a quarter clockwise on screen, and the window
# manager gives the view the turned shape; three more turns bring both back; Y mirrors the
# picture in the same view. (Turns and mirrors in any order are the logic tests'.)
check_turn() {
  settings_write
  local picture="$E2E_WORK/turn/quarters.png" original="$RED $GREEN $BLUE $YELLOW" turned="$BLUE $RED $YELLOW $GREEN" w h landscape
  image "$picture" 400 300 "$RED" -fill "$GREEN" -draw 'rectangle 200,0 399,149' \
    -fill "$BLUE" -draw 'rectangle 0,150 199,299' -fill "$YELLOW" -draw 'rectangle 200,150 399,299'
  pavo_start "$picture"
  settle
  chrome_level_2
  landscape=$CLIENT
  wait_for 5 quadrants_are "$original" || fail "the quarters show '$QUADS' (TL TR BL BR), expected '$original'"
  press t
  settle_after_change "$OUTER"
  wait_for 5 quadrants_are "$turned" || fail "after T the quarters show '$QUADS', expected a quarter turn clockwise '$turned'"
  read -r _ _ w h <<<"$CLIENT"
  [ $((w * 4 - h * 3)) -ge -8 ] && [ $((w * 4 - h * 3)) -le 8 ] ||
    miss "after T the view should be refitted to 3:4, the X server reports $(say_rect "$OUTER") (before: client $(rect_text "$landscape"))"
  press t t t
  settle
  wait_for 5 quadrants_are "$original" || fail "after four quarter turns the quarters show '$QUADS', expected '$original'"
  [ "$CLIENT" = "$landscape" ] || miss "after four quarter turns the view should be back at $(rect_text "$landscape"), the X server reports $(say_rect "$OUTER")"
  press y
  wait_for 5 quadrants_are "$GREEN $RED $YELLOW $BLUE" || fail "after Y the quarters show '$QUADS', expected the picture mirrored left to right"
  settle
  [ "$CLIENT" = "$landscape" ] || miss "Y should keep the view at $(rect_text "$landscape"), the X server reports $(say_rect "$OUTER")"
}

# pair_is LEFT RIGHT: across its middle the view shows two pictures ("#RRGGBB:WIDTH:HEIGHT")
# side by side at one height (within 2 px), filling its height or width; PAIR is what is seen.
pair_is() {
  local x y w h lc lw lh rc rw rh left right lead left_h right_h
  IFS=: read -r lc lw lh rc rw rh <<<"$1:$2"
  read -r x y w h <<<"$CLIENT"
  shot
  left=$(count_colour "$x" $((y + h / 2)) "$w" 1 "$lc") right=$(count_colour "$x" $((y + h / 2)) "$w" 1 "$rc")
  lead=$(((w - left - right) / 2)) left_h=$((left * lh / lw)) right_h=$((right * rh / rw))
  PAIR="$(pixel $((x + lead + left / 2)) $((y + h / 2))) then $(pixel $((x + lead + left + right / 2)) $((y + h / 2)))"
  PAIR+=" across the middle of the view $(rect_text "$CLIENT"), ${left}x$left_h of $lc beside ${right}x$right_h of $rc"
  [[ $PAIR == "$lc then $rc "* ]] && [ $((left_h - right_h)) -ge -2 ] && [ $((left_h - right_h)) -le 2 ] &&
    { [ $((h - left_h)) -le 2 ] || [ $((w - left - right)) -le 2 ]; }
}

# Merge forward (.) shows the picture and the next one side by side at one height, in a
# window the window manager sizes for the pair; L swaps them; . again ends the merge and
# the window is refitted to the picture alone. (Steps by the pair are the logic tests'.)
check_merge() {
  settings_write
  local dir="$E2E_WORK/merge" red="$RED:400:300" green="$GREEN:300:400" w h
  image "$dir/a.png" 400 300 "$RED"
  image "$dir/b.png" 300 400 "$GREEN"
  pavo_start "$dir/a.png"
  settle
  chrome_level_2
  press period
  settle
  wait_for 5 pair_is "$red" "$green" || fail ". on a.png should show a.png (red) beside b.png (green) at one height, filling the view; seen $PAIR"
  press l
  settle
  wait_for 5 pair_is "$green" "$red" || fail "L should swap the pair; seen $PAIR"
  press period
  settle
  read -r _ _ w h <<<"$CLIENT"
  [ $((w * 3 - h * 4)) -ge -8 ] && [ $((w * 3 - h * 4)) -le 8 ] ||
    miss ". again should end the merge and refit the view to a.png alone (4:3); the X server reports $(say_rect "$OUTER")"
}

# near COLOUR: the view's centre is within 4 of COLOUR in each channel (HEIF's colour
# conversion rounds even in its lossless mode).
near() {
  local seen expected i
  SEEN=$(colours_at "2 2")
  for i in 1 3 5; do
    seen=$((16#${SEEN:i:2})) expected=$((16#${1:i:2}))
    [ $((seen - expected)) -le 4 ] && [ $((expected - seen)) -le 4 ] || return 1
  done
}

# A folder of one picture of each format, each made by its own encoder and each of its own
# colour: Right steps through them in name order and shows each (the format module loaded
# from beside the program); a GIF of two frames shows its first.
check_formats() {
  settings_write
  local dir="$E2E_WORK/formats" src="$E2E_WORK/formats-src" f colour steps=0
  mkdir -p "$dir" "$src"
  # Truecolour PNGs: heif-enc misreads ImageMagick's palette PNGs.
  for colour in red:$RED green:$GREEN blue:$BLUE yellow:$YELLOW; do
    convert -size 320x240 "xc:${colour#*:}" "PNG24:$src/${colour%%:*}.png"
  done
  heif-enc -q 95 -o "$dir/1.heic" "$src/red.png" >/dev/null
  avifenc -s 10 -l "$src/green.png" "$dir/2.avif" >/dev/null
  cjxl "$src/blue.png" "$dir/3.jxl" -d 0 2>/dev/null
  convert -delay 20 "$src/yellow.png" "$src/red.png" "$dir/4.gif"
  img2webp -lossless "$src/green.png" "$src/blue.png" -o "$dir/5.webp" >/dev/null 2>&1
  pavo_start "$dir/1.heic"
  for f in "1.heic $RED" "2.avif $GREEN" "3.jxl $BLUE" "4.gif $YELLOW" "5.webp $GREEN" "1.heic $RED"; do
    read -r f colour <<<"$f"
    [ $((steps++)) -eq 0 ] || press Right
    wait_for 10 title_is "$dir/$f" || fail "expected $f, the title is '$(title)'"
    # A playing animation never rests; its window has the size of the pictures before it.
    case $f in *.gif | *.webp) ;; *) settle ;; esac
    wait_for 5 near "$colour" || fail "$f: the centre of the view shows $SEEN, expected $colour"
    [ "$f" = 4.gif ] || continue
    # The GIF plays: its red frame follows, then yellow again; paused (P), it stays.
    wait_for 5 near "$RED" || fail "the GIF does not animate: its centre stays $SEEN"
    wait_for 5 near "$YELLOW" || fail "the GIF does not loop: its centre stays $SEEN"
    press p
    local paused seen
    settle
    near "$YELLOW" || near "$RED" || fail "the GIF shows $SEEN"
    paused=$SEEN
    for seen in 1 2 3 4; do
      sleep 0.12
      near "$paused" || fail "the paused GIF went on: $paused, then $SEEN"
    done
  done
}

x_start -screen 0 1280x800x24
wm_start openbox
for name in open_dialog drop turn merge formats; do check "$name" "check_$name"; done
e2e_finish
