#!/usr/bin/env bash
# Builds mivaro and its tests (warnings are errors) and runs the whole suite,
# the interop suite on real Video CD material included.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DMIVARO_WERROR=ON -DMIVARO_TESTS=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build"
exec ctest --output-on-failure -j"$(nproc)"
