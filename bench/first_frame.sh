#!/usr/bin/env bash
# Start-up to first frame of a 6000 x 4000 JPEG on a 1920 x 1080 screen: five whole
# starts and five stage breakdowns, each in a fresh process.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
image=$(mktemp -d)/photo-6000x4000.jpg
# A photo-like JPEG (smooth gradients with texture), written once.
"$build/bench/pavo_bench_decode" --benchmark_filter=BM_ReadFile/png:0 >/dev/null
cp "${TMPDIR:-/tmp}/pavo-bench/photo-6000x4000.jpg" "$image"
export QT_QPA_PLATFORM="offscreen:configfile=$PWD/tests/widget/offscreen-screen.json"
for _ in 1 2 3 4 5; do "$build/bench/pavo_first_frame" "$image" 2>/dev/null; done
for _ in 1 2 3 4 5; do "$build/bench/pavo_first_frame" --stages "$image" 2>/dev/null; done
