#!/usr/bin/env bash
# Checks that includes point down the house: platform/ at the bottom; the subsystems
# (settings, playlist, image, view, update) and viewer.h above it; app/ on top. A file
# may include its own floor or any floor below, never one above; Qt Widgets headers
# appear only in platform/qt/ and the entry point. Prints each breach; exits 1 on any.
set -euo pipefail
cd "$(dirname "$0")/../src"

floor_of() {
  case "$1" in
    platform/qt/*) echo 1 ;;
    platform/*) echo 0 ;;
    settings/* | playlist/* | image/* | view/* | update/* | viewer.h) echo 2 ;;
    app/main.cpp) echo 4 ;;
    app/*) echo 3 ;;
    *) echo 9 ;;
  esac
}

breaches=0
while IFS= read -r file; do
  own=$(floor_of "$file")
  while IFS= read -r included; do
    target=$(floor_of "$included")
    # platform/qt implements the platform; nothing in the logic may reach it.
    if [ "$target" -gt "$own" ] || { [ "$target" = 1 ] && [ "$own" != 1 ] && [ "$own" != 4 ]; }; then
      echo "layering: $file includes \"$included\", a higher floor"
      breaches=$((breaches + 1))
    fi
  done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
  if [ "$own" != 1 ] && [ "$own" != 4 ] &&
     grep -qE '^#include <(QtWidgets/|Q(Application|Widget|MainWindow|Dialog|MessageBox|MenuBar|Menu|Label|PushButton|CheckBox|ComboBox|LineEdit|SpinBox|FileDialog|VBoxLayout|HBoxLayout|GridLayout|Shortcut|ToolTip|Painter|Screen|Window)\b)' "$file"; then
    echo "layering: $file includes a Qt Widgets or GUI header; only platform/qt and the entry point may"
    breaches=$((breaches + 1))
  fi
done < <(find . -name '*.h' -o -name '*.cpp' | sed 's|^\./||' | sort)

if [ "$breaches" -gt 0 ]; then
  echo "layering: $breaches breach(es)"
  exit 1
fi
echo "layering: every include points down"
