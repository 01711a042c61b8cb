#!/usr/bin/env bash
# Rebuilds samples/ from scratch with the sample writer.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target pavo_make_samples
rm -rf samples && mkdir samples
"$build/pavo_make_samples" samples
# The formats of phones, the web and archives, made from the others by each format's own
# encoder (Debian's libheif-examples, libavif-bin, libjxl-tools and ImageMagick).
heif-enc -q 80 -o "samples/12 sunset.heic" "samples/01 sunset.jpg" >/dev/null
avifenc -s 8 "samples/02 alpha grid.png" "samples/13 alpha grid.avif" >/dev/null
cjxl "samples/03 deep rings.png" "samples/14 deep rings.jxl" -d 1 2>/dev/null
convert -delay 50 "samples/06 rings.bmp" "samples/02 alpha grid.png" -resize 200x150 +dither \
  "samples/15 two frames.gif"
du -sh samples
