#!/usr/bin/env bash
# Steps through 50 copies of a 6000 x 4000 JPEG on a 1920 x 1080 offscreen screen; with
# `--pan PICTURE`, pans that picture at its own size instead (bench/desktop/gen_huge.c
# writes pictures of 192 and 600 megapixels).
#   bench/step_bench.sh [BUILD] [--pan PICTURE]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
export QT_QPA_PLATFORM="offscreen:configfile=$PWD/tests/widget/offscreen-screen.json"
if [ "${2:-}" = "--pan" ]; then
  exec "$build/bench/pavo_step_bench" --pan "$3" 2>/dev/null
fi
"$build/bench/pavo_bench_decode" --benchmark_filter=BM_ReadFile/png:0 >/dev/null  # writes the JPEG
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
for i in $(seq -w 1 50); do cp "${TMPDIR:-/tmp}/pavo-bench/photo-6000x4000.jpg" "$folder/photo $i.jpg"; done
"$build/bench/pavo_step_bench" "$folder" 2>/dev/null
