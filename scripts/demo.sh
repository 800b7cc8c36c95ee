#!/usr/bin/env bash
# Builds mivaro and extracts the MPEG streams of the bundled sample Video CD
# image into demo-out/, track by track, then the whole disc into demo-out/disc/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DMIVARO_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" >/dev/null
rm -rf demo-out && mkdir demo-out
build/mivaro -cue2mpg tests/data/sample/sample.cue demo-out/movie.mpg
build/mivaro -disc2mpg tests/data/sample/sample.cue demo-out/disc
ls -l demo-out demo-out/disc
