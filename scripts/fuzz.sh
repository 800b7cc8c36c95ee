#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, replays the saved crash inputs of
# fuzz/regressions/<target>/, then fuzzes every target for SECONDS each.
# Exits non-zero when any replay or fuzzing run crashed, timed out, leaked or
# hit a sanitizer report.
#
#   scripts/fuzz.sh SECONDS
#
# Environment: MIVARO_FUZZ_BUILD (build folder, default build-fuzz),
# MIVARO_FUZZ_JOBS (build jobs, default 2).
set -uo pipefail

usage() {
    echo "usage: $0 SECONDS" >&2
    exit 2
}
[[ $# -eq 1 && $1 =~ ^[0-9]+$ && $1 -gt 0 ]] || usage
seconds=$1

root=$(cd "$(dirname "$0")/.." && pwd)
build=${MIVARO_FUZZ_BUILD:-$root/build-fuzz}
jobs=${MIVARO_FUZZ_JOBS:-2}
scratch=$root/fuzz/corpus-run
targets=(fuzz_cue_sheet fuzz_conversion fuzz_command_line)

# A report anywhere in a log marks the run failed, whatever the exit status.
report_pattern='ERROR: (AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer|libFuzzer)|runtime error:|SUMMARY: |==[0-9]+== ?ERROR|deadly signal|ALARM: working on the last Unit|out-of-memory'

# The report itself, without the shadow memory dump that follows it.
show_report() {
    awk -v pat="$report_pattern" '
        !on && $0 ~ pat { on = 1 }
        on { print; if (/^SUMMARY: / || ++n >= 40) exit }' "$1"
}

if [[ -f $build/CMakeCache.txt ]] && ! grep -q '^CMAKE_CXX_COMPILER:.*clang' "$build/CMakeCache.txt"; then
    echo "$build was configured with another compiler; remove it or set MIVARO_FUZZ_BUILD" >&2
    exit 2
fi
CXX=${CXX:-clang++}
case $CXX in *clang*) ;; *) CXX=clang++ ;; esac
export CXX
cmake -S "$root" -B "$build" -DMIVARO_FUZZ=ON -DMIVARO_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null ||
    { echo "configuring $build failed" >&2; exit 2; }
cmake --build "$build" -j "$jobs" --target "${targets[@]}" ||
    { echo "building the fuzz targets failed" >&2; exit 2; }

mkdir -p "$scratch"
failed=()
summary=()

# Replays: each saved input runs once through its target.
for t in "${targets[@]}"; do
    dir=$root/fuzz/regressions/$t
    [[ -d $dir ]] || continue
    mapfile -t inputs < <(find "$dir" -maxdepth 1 -type f ! -name '.*' | sort)
    [[ ${#inputs[@]} -gt 0 ]] || continue
    log=$scratch/$t.replay.log
    artifacts=$scratch/artifacts/$t
    mkdir -p "$artifacts"
    echo "== $t: replaying ${#inputs[@]} saved input(s)"
    "$build/fuzz/$t" -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$artifacts/" "${inputs[@]}" >"$log" 2>&1
    status=$?
    if [[ $status -ne 0 ]] || grep -Eq "$report_pattern" "$log"; then
        echo "!! $t: a saved input fails again (status $status); log: $log"
        show_report "$log"
        failed+=("$t (replay)")
    fi
done

for t in "${targets[@]}"; do
    corpus=$scratch/$t
    artifacts=$scratch/artifacts/$t
    log=$scratch/$t.log
    mkdir -p "$corpus" "$artifacts"
    # The committed seeds join whatever earlier runs found; the committed
    # folder itself stays as it is.
    cp -n "$root/fuzz/corpus/$t/"* "$corpus/" 2>/dev/null
    stamp=$scratch/$t.start
    touch "$stamp"
    echo "== $t: fuzzing for $seconds s"
    "$build/fuzz/$t" -max_total_time="$seconds" -dict="$root/fuzz/mivaro.dict" \
        -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1
    status=$?
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    cov_line=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -n 1)
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$cov_line")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$cov_line")
    verdict=ok
    if [[ $status -ne 0 ]] || grep -Eq "$report_pattern" "$log"; then
        verdict="FAILED (status $status)"
        failed+=("$t")
        echo "!! $t failed; log: $log"
        show_report "$log"
        find "$artifacts" -type f -newer "$stamp" | sed 's|^|   artifact: |'
    fi
    summary+=("$(printf '%-20s execs %-10s cov %-6s ft %-6s %s' "$t" "${execs:-?}" "${cov:-?}" "${ft:-?}" "$verdict")")
done

echo
echo "== summary (${seconds} s per target)"
printf '%s\n' "${summary[@]}"
if [[ ${#failed[@]} -gt 0 ]]; then
    echo "failed: ${failed[*]}"
    echo "save each reproducer under fuzz/regressions/<target>/ once the fault is understood"
    exit 1
fi
