#!/usr/bin/env bash
# Steps through 50 copies of a 6000 x 4000 JPEG on a 1920 x 1080 offscreen screen.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
"$build/bench/pavo_bench_decode" --benchmark_filter=BM_ReadFile/png:0 >/dev/null  # writes the JPEG
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
for i in $(seq -w 1 50); do cp "${TMPDIR:-/tmp}/pavo-bench/photo-6000x4000.jpg" "$folder/photo $i.jpg"; done
QT_QPA_PLATFORM="offscreen:configfile=$PWD/tests/widget/offscreen-screen.json" \
  "$build/bench/pavo_step_bench" "$folder" 2>/dev/null
