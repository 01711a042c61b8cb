#!/usr/bin/env bash
# Builds the decode fuzzer with clang (AddressSanitizer and UBSan, libFuzzer coverage on
# Pavo's own code) and runs it for the given number of seconds (default 300) on a seed
# corpus of small images of every supported format.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
command -v clang++ >/dev/null || { echo "fuzz: clang++ is needed (apt-get install clang)" >&2; exit 1; }

CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPAVO_FUZZ=ON -DPAVO_BUILD_TESTS=OFF -DPAVO_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined,fuzzer-no-link -fno-omit-frame-pointer" >/dev/null
cmake --build build-fuzz --target pavo_fuzz_decode

corpus=build-fuzz/corpus
mkdir -p "$corpus" fuzz-out
# The bundled samples seed the corpus: one small file of every supported format; and
# pictures carrying colour profiles (Display P3 in every container, a CMYK JPEG) with
# the profiles themselves.
[ -n "$(ls -A "$corpus")" ] || cp samples/* fuzz/seeds/* "$corpus"/
./build-fuzz/fuzz/pavo_fuzz_decode "$corpus" -max_total_time="$seconds" -max_len=65536 \
  -rss_limit_mb=4096 -malloc_limit_mb=4096 -artifact_prefix=fuzz-out/ -print_final_stats=1
