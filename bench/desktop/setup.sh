# Sourced by the desktop benchmarks, from the repository's root, with `name` the bench's:
# takes a build folder from the first argument (default build), checks the build, makes
# the probe in BUILD/bench/NAME (`out`) and the photos (`images`).
build=build
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ] && [ -d "$1" ]; then
  build=$1
  shift
fi
[ -x "$build/pavo" ] || { echo "no $build/pavo: build Pavo first" >&2; exit 1; }
build=$(cd "$build" && pwd)
out="$build/bench/$name"
mkdir -p "$out"
cc -O2 -Wall -o "$out/xprobe" bench/desktop/xprobe.c -lX11 -lXext -lXdamage -lXtst
cc -O2 -Wall -o "$out/display_icc" bench/desktop/display_icc.c -llcms2
# BENCH_SET=huge, giant or png100: a folder of pictures far larger than the screen, for
# --modes first (see gen_images.py); the step set otherwise.
set=${BENCH_SET:-photos}
if [ "$set" = photos ]; then
  images=${IMAGES:-/tmp/pavo-bench-images}
else
  images=${IMAGES:-/tmp/pavo-bench-$set}
fi
cc -O2 -Wall -o "$out/gen_huge" bench/desktop/gen_huge.c -ljpeg -lpng
python3 bench/desktop/gen_images.py --seed 1 --set "$set" --gen-huge "$out/gen_huge" \
  --out "$images" >&2
export PAVO_BIN="$build/pavo"
