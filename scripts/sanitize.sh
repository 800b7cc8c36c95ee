#!/usr/bin/env bash
# Builds the program and the test suite with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs the suite; any report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-asan}
cmake -S . -B "$build" -DMIVARO_WERROR=ON -DMIVARO_SANITIZE=ON -DMIVARO_TESTS=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --output-on-failure -j"$(nproc)" -LE interop
