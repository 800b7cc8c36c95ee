#!/usr/bin/env bash
# Throughput and memory benchmark of the mivaro conversions.
#
#   bench/run.sh [RUNS]        (or BENCH_RUNS=RUNS bench/run.sh; default 5)
#
# Builds a Release mivaro in build-bench/, makes a Video CD image of six
# 10-minute PAL tracks with ffmpeg and vcdimager (or, without them, a
# synthetic image of the same shape) and keeps it in bench/cache/ for later
# runs. Each conversion is timed next to its limit: a plain `cat` copy of the
# same input into the same output folder or, for the failed search, a plain
# `cat` read of the input. GNU cat copies with copy_file_range, inside the
# kernel and without a trip through user memory, so the copy limit is a
# strict one. Both sides get one untimed warm-up run, timed runs alternate
# between them, and the table shows medians.
#
# Environment:
#   BENCH_RUNS       timed runs per row (the first argument wins)
#   BENCH_SYNTHETIC  1: use the synthetic image even when ffmpeg and
#                    vcdimager are installed
#   BENCH_CACHE      where images and scratch outputs live (default bench/cache)
set -uo pipefail
export LC_ALL=C

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=${1:-${BENCH_RUNS:-5}}
cache=${BENCH_CACHE:-$root/bench/cache}
build=$root/build-bench
scratch=$cache/scratch
prep=$cache/prep
log=$cache/last-run.log

# Six tracks of 10 minutes each: 45000 sectors of 75 per second.
tracks=6
track_seconds=600
track_sectors=$((track_seconds * 75))

# Copying conversions must stay within this factor of their limit; the
# failed search must read at least this many MB/s; peak RSS below this many KiB.
max_ratio=1.15
min_search_mbps=2000
max_rss_kib=8192
need_free_kib=$((4 * 1024 * 1024))

die() { printf 'bench: %s\n' "$*" >&2; exit 1; }

[[ $runs =~ ^[1-9][0-9]*$ ]] || die "number of runs must be a positive integer, not '$runs'"
[[ -x /usr/bin/time ]] || die "/usr/bin/time (GNU time) is needed for the memory column"
command -v cmake >/dev/null || die "cmake is needed"

mkdir -p "$cache" "$scratch" "$prep" || die "cannot create $cache"
free_kib=$(df -Pk "$cache" | awk 'NR == 2 { print $4 }')
if (( free_kib < need_free_kib )); then
    die "only $((free_kib / 1024)) MiB free under $cache; images and outputs need about 4 GiB"
fi

echo "== building mivaro (Release) in $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DMIVARO_TESTS=OFF >/dev/null ||
    die "cmake configure failed"
cmake --build "$build" -j2 >/dev/null || die "build failed"
mivaro=$build/mivaro
generator=$build/make_image
if [[ ! -x $generator || $root/bench/make_image.cpp -nt $generator ]]; then
    "${CXX:-c++}" -O2 -std=c++20 -o "$generator" "$root/bench/make_image.cpp" ||
        die "could not build the image generator"
fi

# Image files are written under temporary names and renamed once complete,
# so an interrupted run never leaves a half image in the cache.
make_vcd_image() {
    local work=$cache/tmp-vcd
    rm -rf "$work" && mkdir -p "$work" || return 1
    local sources=(testsrc testsrc2 smptebars rgbtestsrc yuvtestsrc pal75bars)
    local i mpgs=()
    for ((i = 1; i <= tracks; i++)); do
        echo "   encoding track $i of $tracks"
        ffmpeg -nostdin -hide_banner -loglevel error -y -threads 2 \
            -f lavfi -i "${sources[i - 1]}=size=352x288:rate=25:duration=$track_seconds" \
            -f lavfi -i "sine=frequency=$((220 * i)):sample_rate=44100:duration=$track_seconds" \
            -target pal-vcd -threads 2 "$work/track$i.mpg" || return 1
        mpgs+=("track$i.mpg")
    done
    echo "   writing the image with vcdimager"
    (cd "$work" && vcdimager -t vcd2 --cue-file=vcd.cue --bin-file=vcd.bin "${mpgs[@]}" >vcdimager.log 2>&1) ||
        { cat "$work/vcdimager.log" >&2; return 1; }
    mv "$work/vcd.bin" "$cache/vcd.bin" && mv "$work/vcd.cue" "$cache/vcd.cue" && rm -rf "$work"
}

make_generated_image() {  # KIND NAME
    "$generator" "$1" "$cache/$2.bin.tmp" "$cache/$2.cue.tmp" "$tracks" "$track_sectors" || return 1
    sed -i "s/$2\\.bin\\.tmp/$2.bin/" "$cache/$2.cue.tmp" &&
        mv "$cache/$2.bin.tmp" "$cache/$2.bin" && mv "$cache/$2.cue.tmp" "$cache/$2.cue"
}

if [[ ${BENCH_SYNTHETIC:-0} != 1 ]] && command -v ffmpeg >/dev/null && command -v vcdimager >/dev/null; then
    image=vcd
    image_kind="ffmpeg -target pal-vcd + vcdimager -t vcd2"
    if [[ ! -f $cache/vcd.cue || ! -f $cache/vcd.bin ]]; then
        echo "== making the Video CD image (cached in $cache)"
        make_vcd_image || die "could not make the Video CD image"
    fi
else
    image=synthetic
    image_kind="synthetic Mode 2 sectors around MPEG packs"
    if [[ ! -f $cache/synthetic.cue || ! -f $cache/synthetic.bin ]]; then
        echo "== making the synthetic image (cached in $cache)"
        make_generated_image mpeg synthetic || die "could not make the synthetic image"
    fi
fi
if [[ ! -f $cache/plain.cue || ! -f $cache/plain.bin ]]; then
    echo "== making the image without MPEG data (cached in $cache)"
    make_generated_image plain plain || die "could not make the image without MPEG data"
fi

# The BIN name inside a CUE sheet is taken relative to the working folder.
cd "$cache" || die "cannot enter $cache"

echo "== preparing single-file inputs with this build"
rm -f "$prep"/*
# A single track runs for a few hundredths of a second, too short to time
# against cat without the noise swamping it: the single-file rows read the
# whole image as one raw image, and the six movies joined as one stream.
"$mivaro" -cue2mpg "$image.cue" "$prep/movie.mpg" >"$log" || die "cue2mpg failed, see $log"
cat "$prep"/movie[0-9]*.mpg >"$prep/stream.mpg" && rm -f "$prep"/movie[0-9]*.mpg

rows=(cue2mpg cue2raw cue2dat raw2mpg mpg2dat search)

# Sets: cmd (the conversion), input (file whose size counts), limit_out
# (where the limit's cat writes), want_rc and want_text (checked on every run).
describe_row() {
    want_rc=0
    want_text="completed."
    limit_out=$scratch/copy
    case $1 in
        cue2mpg) input=$image.bin; cmd=("$mivaro" -cue2mpg "$image.cue" "$scratch/movie.mpg") ;;
        cue2raw) input=$image.bin; cmd=("$mivaro" -cue2raw "$image.cue" "$scratch/track.raw") ;;
        cue2dat) input=$image.bin; cmd=("$mivaro" -cue2dat "$image.cue" "$scratch/track.dat") ;;
        raw2mpg) input=$image.bin; cmd=("$mivaro" -raw2mpg "$image.bin" "$scratch/movie.mpg") ;;
        mpg2dat) input=$prep/stream.mpg; cmd=("$mivaro" -mpg2dat "$prep/stream.mpg" "$scratch/movie.dat") ;;
        search)
            input=plain.bin
            cmd=("$mivaro" -cue2dat plain.cue "$scratch/track.dat")
            limit_out=/dev/null
            want_rc=1
            want_text="Could not find MPEG stream in BIN file."
            ;;
    esac
}

# Deleting an output drops its dirty pages, so no run pays for the writeback
# of another; there is no sync between runs.
#
# On a virtual machine whose balloon device reports free pages to the host,
# memory that stayed free for a couple of seconds has been handed back, and
# the first write into it costs a host fault per page: a run that fills the
# page cache then takes several times as long. Writing and deleting a
# file a little larger than any output of the run, right before it, gives
# each timed run the same recently used pages.
clean_scratch() {
    rm -f "$scratch"/*
    local mib=$(( ${bytes[$row]:-0} * 11 / 10 / 1048576 + 8 ))
    dd if=/dev/zero of="$scratch/ballast" bs=1M count="$mib" status=none
    rm -f "$scratch/ballast"
}

rss_file=$cache/rss.txt
# timed STDOUT CMD...: sets secs and kib; the command's stdout goes to STDOUT.
timed() {
    local out=$1 t0 t1
    shift
    t0=$EPOCHREALTIME
    /usr/bin/time -f %M -o "$rss_file" "$@" >"$out"
    rc=$?
    t1=$EPOCHREALTIME
    secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.6f", b - a }')
    kib=$(tail -n 1 "$rss_file")
}

run_conversion() {
    clean_scratch
    timed "$log" "${cmd[@]}"
    if [[ $rc != "$want_rc" ]] || ! grep -qF "$want_text" "$log"; then
        die "${cmd[*]} ended with status $rc (expected $want_rc) or without \"$want_text\"; see $log"
    fi
}

run_limit() {
    clean_scratch
    timed "$limit_out" cat "$input"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

load_average() { cut -d ' ' -f 1 /proc/loadavg 2>/dev/null || echo '?'; }

declare -A conv_times limit_times peak_kib bytes
load_before=$(load_average)
sync
echo "== warming up"
for row in "${rows[@]}"; do
    describe_row "$row"
    bytes[$row]=$(stat -c %s "$input")
    run_conversion
    run_limit
    conv_times[$row]=""
    limit_times[$row]=""
    peak_kib[$row]=0
done

for ((r = 1; r <= runs; r++)); do
    echo "== timed run $r of $runs"
    for row in "${rows[@]}"; do
        describe_row "$row"
        run_conversion
        conv_times[$row]+="$secs "
        (( kib > peak_kib[$row] )) && peak_kib[$row]=$kib
        run_limit
        limit_times[$row]+="$secs "
    done
done
rm -f "$scratch"/*
load_after=$(load_average)

echo
echo "mivaro $(git -C "$root" describe --always --dirty 2>/dev/null || echo '?'), image: $image_kind"
echo "median of $runs runs; MB = 10^6 bytes of input; ratio = conversion time / limit time"
echo "1-minute load average before/after: $load_before / $load_after (other work on the machine skews the times)"
echo
fmt='%-24s %8s %10s %10s %7s %9s  %s\n'
# shellcheck disable=SC2059
printf "$fmt" conversion "input MB" "MB/s" "limit MB/s" ratio "peak RSS" "target"
missed=0
for row in "${rows[@]}"; do
    describe_row "$row"
    conv=$(tr ' ' '\n' <<<"${conv_times[$row]}" | grep . | median)
    limit=$(tr ' ' '\n' <<<"${limit_times[$row]}" | grep . | median)
    mb=$(awk -v b="${bytes[$row]}" 'BEGIN { printf "%.1f", b / 1e6 }')
    conv_mbps=$(awk -v b="${bytes[$row]}" -v t="$conv" 'BEGIN { printf "%.0f", b / 1e6 / t }')
    limit_mbps=$(awk -v b="${bytes[$row]}" -v t="$limit" 'BEGIN { printf "%.0f", b / 1e6 / t }')
    ratio=$(awk -v a="$conv" -v b="$limit" 'BEGIN { printf "%.3f", a / b }')
    rss=$(awk -v k="${peak_kib[$row]}" 'BEGIN { printf "%.2f MiB", k / 1024 }')
    verdict=ok
    if [[ $row == search ]]; then
        label="failed search (cue2dat)"
        awk -v m="$conv_mbps" -v t="$min_search_mbps" 'BEGIN { exit !(m >= t) }' ||
            verdict="MISSED (< $min_search_mbps MB/s)"
    else
        label=$row
        [[ $row == raw2mpg ]] && label="raw2mpg (whole image)"
        [[ $row == mpg2dat ]] && label="mpg2dat (six movies)"
        awk -v r="$ratio" -v t="$max_ratio" 'BEGIN { exit !(r <= t) }' ||
            verdict="MISSED (ratio > $max_ratio)"
    fi
    if (( peak_kib[$row] >= max_rss_kib )); then
        [[ $verdict == ok ]] && verdict="MISSED" || verdict+=","
        verdict+=" (RSS >= 8 MiB)"
    fi
    [[ $verdict == ok ]] || missed=$((missed + 1))
    # shellcheck disable=SC2059
    printf "$fmt" "$label" "$mb" "$conv_mbps" "$limit_mbps" "$ratio" "$rss" "$verdict"
done
echo
echo "targets: copies within ${max_ratio}x of cat, failed search >= $min_search_mbps MB/s, peak RSS < 8 MiB; rows missing a target: $missed"
