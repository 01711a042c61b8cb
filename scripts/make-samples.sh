#!/usr/bin/env bash
# Rebuilds samples/ from scratch with the sample writer.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target pavo_make_samples
rm -rf samples && mkdir samples
"$build/pavo_make_samples" samples
du -sh samples
