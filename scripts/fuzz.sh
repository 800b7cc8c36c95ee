#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, replays the saved crash inputs of
# fuzz/regressions/<target>/, then fuzzes every target for SECONDS each.
# Exits non-zero when any replay or fuzzing run crashed, timed out, leaked or
# hit a sanitizer report; the log of a failed run is kept in fuzz/corpus-run/.
#
#   scripts/fuzz.sh SECONDS        (MIVARO_FUZZ_BUILD: build folder, default build-fuzz)
set -uo pipefail
[[ $# -eq 1 && $1 =~ ^[1-9][0-9]*$ ]] || { echo "usage: $0 SECONDS" >&2; exit 2; }
seconds=$1
root=$(cd "$(dirname "$0")/.." && pwd)
build=${MIVARO_FUZZ_BUILD:-$root/build-fuzz}
scratch=$root/fuzz/corpus-run
targets=(fuzz_cue_sheet fuzz_conversion fuzz_command_line fuzz_disc_layout fuzz_playback fuzz_image_descriptors
    fuzz_disc_image)
# A report anywhere in a log marks the run failed, whatever the exit status.
reports='ERROR: (AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer|libFuzzer)|runtime error:|deadly signal|out-of-memory'

CXX=clang++ cmake -S "$root" -B "$build" -DMIVARO_FUZZ=ON -DMIVARO_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null &&
    cmake --build "$build" -j2 --target "${targets[@]}" >/dev/null || { echo "building the fuzz targets failed" >&2; exit 2; }

failed=()
# Runs one target with the given arguments; a failure shows the report.
run() {
    local name=$1 log=$scratch/$1.log
    shift
    "$build/fuzz/${name%%.*}" -rss_limit_mb=2048 -timeout=10 -artifact_prefix="$scratch/" "$@" >"$log" 2>&1
    local status=$?
    if [[ $status -ne 0 ]] || grep -Eq "$reports" "$log"; then
        echo "!! $name failed (status $status); log: $log"
        grep -E -m1 -A20 "$reports" "$log"
        failed+=("$name")
    fi
}

for t in "${targets[@]}"; do
    mkdir -p "$scratch/$t"
    # The committed seeds join whatever earlier runs found.
    cp -n "$root/fuzz/corpus/$t/"* "$scratch/$t/" 2>/dev/null
    if compgen -G "$root/fuzz/regressions/$t/*" >/dev/null; then
        echo "== $t: replaying saved inputs"
        run "$t.replay" "$root/fuzz/regressions/$t/"*
    fi
    echo "== $t: fuzzing for $seconds s"
    run "$t" -max_total_time="$seconds" -dict="$root/fuzz/mivaro.dict" -print_final_stats=1 "$scratch/$t"
    grep -E '^stat::number_of_executed_units' "$scratch/$t.log"
done
[[ ${#failed[@]} -eq 0 ]] || { echo "failed: ${failed[*]}; save each reproducer under fuzz/regressions/<target>/"; exit 1; }
echo "all fuzz targets ok"
