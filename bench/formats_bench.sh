#!/usr/bin/env bash
# The new formats against the peers that open them (through their plug-ins), on the private
# Xvfb desktop of desktop_bench.sh: paused steps, rapid steps that outrun the cache and peak
# memory on the desktop benchmark's first twelve photos made HEIC, AVIF and JPEG XL; the
# processor time per frame of playing a 480 x 360 GIF and a 1920 x 1080 animated WebP at
# 50 frames a second; and the first frame of a GIF against a PNG of the same picture.
#   bench/formats_bench.sh [BUILD] [--rounds N] [--prepare] [VIEWER...]
# (default viewers: pavo qimgv eog; --prepare only makes the pictures, which takes minutes)
# The peers' plug-ins are Debian packages: kimageformat-plugins (qimgv), heif-gdk-pixbuf and
# libavif-gdk-pixbuf (eog); a peer that cannot open a format is reported so.
set -euo pipefail
cd "$(dirname "$0")/.."
name=formats
# shellcheck source=desktop/setup.sh
. bench/desktop/setup.sh
sets="$images-formats"
rounds=3
prepare_only=
viewers=()
while [ $# -gt 0 ]; do
  case $1 in
    --rounds) rounds=$2; shift 2 ;;
    --prepare) prepare_only=1; shift ;;
    *) viewers+=("$1"); shift ;;
  esac
done
[ ${#viewers[@]} -gt 0 ] || viewers=(pavo qimgv eog)

encode() {  # FORMAT IN OUT (the encoders read JPEG and PNG: a WebP goes through a PNG)
  local in=$2
  case $in in *.webp) in="$3.png" && dwebp -quiet "$2" -o "$in" ;; esac
  case $1 in
    heic) heif-enc -q 70 -p preset=ultrafast -o "$3" "$in" >/dev/null ;;
    avif) avifenc -s 8 -j 2 "$in" "$3" >/dev/null ;;
    jxl) cjxl --lossless_jpeg=0 -e 3 -d 1.5 "$in" "$3" 2>/dev/null ;;
  esac
  [ "$in" = "$2" ] || rm -f "$in"
}

# The photos of the desktop benchmark in FORMAT, with a manifest naming them.
make_set() {
  local format=$1 dir="$sets/$1/photos" file
  mkdir -p "$dir"
  for file in $(python3 -c 'import json, sys; m = json.load(open(sys.argv[1])); print(" ".join(e["file"] for e in m["images"][:12]))' "$images/manifest.json"); do
    [ -s "$dir/${file%.*}.$format" ] || encode "$format" "$images/photos/$file" "$dir/${file%.*}.$format"
  done
  python3 - "$images/manifest.json" "$dir" "$format" >"$sets/$format/manifest.json" <<'EOF'
import json, sys
m = json.load(open(sys.argv[1]))
m["photos_dir"] = sys.argv[2]
m["images"] = m["images"][:12]
for e in m["images"]:
    e["file"] = e["file"].rsplit(".", 1)[0] + "." + sys.argv[3]
    e["kind"] = sys.argv[3]
print(json.dumps(m, indent=1))
EOF
}

# A moving bar over a gradient: every frame differs from the one before.
make_animations() {
  local dir="$sets/animations" frames i
  mkdir -p "$dir"
  [ -s "$dir/bar-480x360.gif" ] && [ -s "$dir/bar-1920x1080.webp" ] && return
  frames=$(mktemp -d)
  for i in $(seq 0 49); do
    convert -size 1920x1080 gradient:navy-orange -fill white \
      -draw "rectangle $((i * 36)),0 $((i * 36 + 120)),1079" "$frames/$(printf %02d "$i").png"
  done
  convert -delay 2 -loop 0 "$frames"/*.png -resize "480x360!" "$dir/bar-480x360.gif"
  # shellcheck disable=SC2046
  img2webp -loop 0 -lossy -q 75 -d 20 $(ls "$frames"/*.png) -o "$dir/bar-1920x1080.webp" >/dev/null
  convert "$frames/00.png" -resize 1920x1080 "$dir/still-1920x1080.png"
  convert "$frames/00.png" -resize 1920x1080 "$dir/still-1920x1080.gif"
  rm -rf "$frames"
}

for format in heic avif jxl; do
  echo "making the $format photos (once)..." >&2
  make_set "$format"
done
make_animations
[ -z "$prepare_only" ] || exit 0

for format in heic avif jxl; do
  echo
  echo "## $format"
  python3 bench/desktop/bench.py --images "$sets/$format" --xprobe "$out/xprobe" \
    --results "$out/results-$format" --config bench/desktop/viewers.conf \
    --modes paused,rapid --rounds "$rounds" "${viewers[@]}"
done

echo
echo "## Animations at 50 frames a second"
python3 bench/desktop/animation_cpu.py \
  "$sets/animations/bar-480x360.gif:50" "$sets/animations/bar-1920x1080.webp:50" \
  --config bench/desktop/viewers.conf --rounds "$rounds" --results "$out/results-animation" \
  --viewers "${viewers[@]}" --own-size --fill

echo
echo "## First frame: a GIF against a PNG of the same 1920 x 1080 picture (offscreen, ms)"
export QT_QPA_PLATFORM="offscreen:configfile=$PWD/tests/widget/offscreen-screen.json"
for file in still-1920x1080.png still-1920x1080.gif; do
  for _ in 1 2 3 4 5; do "$build/bench/pavo_first_frame" "$sets/animations/$file" 2>/dev/null; done |
    awk -v f="$file" '{ print f ": " $0 }'
done
