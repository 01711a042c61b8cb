#!/usr/bin/env bash
# The real program, black-box, on a private Xvfb (1920 x 1080) under openbox: time to
# the first image, steps after a pause, rapid steps, ten presses of a held key at 25 Hz,
# peak memory and CPU per step, on a fixed set of 24 MP photos and large PNGs.
# Other viewers listed in bench/desktop/viewers.conf are measured in the same run
# when they are installed, so the figures can be read as ratios.
#   bench/desktop_bench.sh [BUILD] [--rounds N] [VIEWER...]
#   e.g. bench/desktop_bench.sh build --rounds 3              every installed viewer
#        bench/desktop_bench.sh build --rounds 3 pavo feh     a subset
#        BENCH_SET=huge bench/desktop_bench.sh build --modes first --settle-ms 8000
#            the first of three 192 MP photos (giant: beside a 600 MP one; png100)
# Prints a markdown table; raw data and screenshots go to BUILD/bench/desktop/results.
set -euo pipefail
cd "$(dirname "$0")/.."
name=desktop
# shellcheck source=desktop/setup.sh
. bench/desktop/setup.sh
exec python3 bench/desktop/bench.py --images "$images" --xprobe "$out/xprobe" \
  --results "$out/results" --config bench/desktop/viewers.conf "$@"
