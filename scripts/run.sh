#!/usr/bin/env bash
# Installs what Pavo needs, builds it and opens the bundled samples (or the paths given).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target pavo

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<'MSG'
run: no display to open a window on (neither DISPLAY nor WAYLAND_DISPLAY is set).
     Start it from a desktop session, or under a virtual display, for instance:
       Xvfb :1 -screen 0 1920x1080x24 & openbox --display :1 &
       DISPLAY=:1 ./scripts/run.sh
MSG
  exit 1
fi

if [ $# -eq 0 ]; then set -- "$PWD/samples"; fi
exec ./build/pavo "$@"
