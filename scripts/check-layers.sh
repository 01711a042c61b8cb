#!/usr/bin/env bash
# Checks that includes point down the house. Every folder has a floor of its own, so an
# include that goes up, or a cycle between two folders, is a breach:
#   0 platform/   the interfaces to the desktop and the plain services
#   1 playlist/   the list of paths, a pure list
#   2 image/      decoding
#   3 settings/   the options and their store
#   4 the records: viewer.h and each folder's *_state.h, which declare what the Viewer holds
#   5 view/       scaling, window geometry, drawing
#   6 update/     the update check
#   7 browse/     what the user moves through: loading, stepping, the neighbour cache, opening
#   8 app/        input dispatch, window modes, dialogs; 9 app/main.cpp, the entry point
# platform/qt/ implements platform/: it includes only platform/, and only the entry point
# includes it. Qt Widgets and GUI headers appear only in platform/qt/ and the entry point.
# Prints each breach; exits 1 on any.
set -euo pipefail
cd "$(dirname "$0")/../src"

floor_of() {
  case "$1" in
    platform/qt/*) echo qt ;;
    viewer.h | */*_state.h) echo 4 ;;
    platform/*) echo 0 ;;
    playlist/*) echo 1 ;;
    image/*) echo 2 ;;
    settings/*) echo 3 ;;
    view/*) echo 5 ;;
    update/*) echo 6 ;;
    browse/*) echo 7 ;;
    app/main.cpp) echo 9 ;;
    app/*) echo 8 ;;
    *) echo unknown ;;
  esac
}

breaches=0
breach() {
  echo "layering: $1"
  breaches=$((breaches + 1))
}

while IFS= read -r file; do
  own=$(floor_of "$file")
  [ "$own" = unknown ] && breach "$file lies in no known folder"
  while IFS= read -r included; do
    target=$(floor_of "$included")
    if [ "$target" = qt ]; then
      # Only the Qt implementation itself and the entry point know it.
      [ "$own" = qt ] || [ "$own" = 9 ] || breach "$file includes \"$included\", the Qt implementation"
    elif [ "$target" = unknown ]; then
      breach "$file includes \"$included\", which lies in no known folder"
    elif [ "$own" = qt ]; then
      [ "$target" = 0 ] || breach "$file includes \"$included\": the Qt implementation sees only platform/"
    elif [ "$target" -gt "$own" ]; then
      breach "$file includes \"$included\", a higher floor"
    elif [ "$target" = "$own" ] && [ "$own" != 4 ] && [ "${file%%/*}" != "${included%%/*}" ]; then
      breach "$file includes \"$included\", another folder on its own floor"
    fi
  done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
  if [ "$own" != qt ] && [ "$own" != 9 ] &&
     grep -qE '^#include <(QtWidgets/|QtGui/|Q(Application|GuiApplication|Widget|MainWindow|Dialog|MessageBox|MenuBar|Menu|Label|PushButton|CheckBox|ComboBox|LineEdit|SpinBox|FileDialog|VBoxLayout|HBoxLayout|GridLayout|Shortcut|ToolTip|Painter|Screen|Window|Image|Pixmap|Cursor)\b)' "$file"; then
    breach "$file includes a Qt Widgets or GUI header; only platform/qt and the entry point may"
  fi
done < <(find . -name '*.h' -o -name '*.cpp' | sed 's|^\./||' | sort)

if [ "$breaches" -gt 0 ]; then
  echo "layering: $breaches breach(es)"
  exit 1
fi
echo "layering: every include points down"
