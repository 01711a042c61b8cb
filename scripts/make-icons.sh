#!/usr/bin/env bash
# Renders Pavo's application icon (dist/icons/<id>.svg) to the PNG sizes the hicolor
# icon theme looks in, dist/icons/<N>x<N>/<id>.png. Run it after changing the SVG.
set -euo pipefail
cd "$(dirname "$0")/.."

id=io.github.pavo_viewer.Pavo
svg=dist/icons/$id.svg
sizes=(16 22 24 32 48 64 128 256)

# librsvg draws the SVG directly at each size (sharper small sizes than scaling one
# large render); ImageMagick is the fallback, rasterising at the target density.
if command -v rsvg-convert >/dev/null 2>&1; then
  render() { rsvg-convert --width "$1" --height "$1" --output "$2" "$svg"; }
elif command -v convert >/dev/null 2>&1; then
  render() { convert -background none -density "$((72 * $1 / 128 + 1))" "$svg" -resize "$1x$1" "PNG32:$2"; }
else
  echo "make-icons: needs rsvg-convert (librsvg2-bin) or ImageMagick's convert" >&2
  exit 1
fi

for n in "${sizes[@]}"; do
  out=dist/icons/${n}x${n}/$id.png
  mkdir -p "$(dirname "$out")"
  render "$n" "$out"
  echo "make-icons: $out"
done
