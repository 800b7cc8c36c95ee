#!/usr/bin/env bash
# Speed and memory of the mivaro conversions, each next to its limit.
#
#   bench/run.sh [RUNS]           conversions, limits and peers (default 21 runs: the busy rows swing by tens of percent)
#   BENCH_ONLY="verify disc2mpg48" bench/run.sh [RUNS]
#                                 only the rows of these jobs (each beside its limit)
#   bench/run.sh --sweep [RUNS]   cue2mpg and cue2raw built with 64 KiB to 1 MiB buffers
#   bench/run.sh --replace [RUNS] quiet only: cue2mpg into an empty folder and over its
#                                 earlier outputs, each beside usercopy doing the same
#
# Builds a Release mivaro in build-bench/ and makes a 637 MB Video CD image
# (six 10-minute PAL tracks, ffmpeg + vcdimager; a synthetic image of the
# same shape without them), cached in bench/cache/ with an image holding no
# MPEG data at all for the failed search. The limits: `cat image > copy` for
# the raw copies (GNU cat moves the bytes inside the kernel with
# copy_file_range), bench/usercopy.c for the MPEG copies (the same user data
# in large blocks through user memory), `cat` to /dev/null for the search and
# for -verify (which reads every sector of the image and checks it);
# md5sum and sha1sum of the image for -verify -hash (the slower row counts).
# `replace` is cue2mpg over its own earlier outputs (in bench/cache/keep/),
# next to `rewrite`, usercopy rewriting its earlier file in place.
# Every job gets one warm-up, then RUNS rounds run all jobs in turn, in a new
# random order each round, first on a quiet machine, then with two `dd`
# copies of the image looping beside them. Prints markdown tables: medians,
# min-max, the ratio of medians to the limit and the median of the ratios of
# each round, in elapsed time and in processor time (user + system, which
# other work on a shared machine disturbs far less); bench/cache/times.txt
# keeps every run's times.
set -uo pipefail
export LC_ALL=C

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
sweep=0 replace_only=0
[[ ${1:-} == --sweep ]] && { sweep=1; shift; }
[[ ${1:-} == --replace ]] && { replace_only=1; shift; }
runs=${1:-${BENCH_RUNS:-21}}
cache=${BENCH_CACHE:-$root/bench/cache}
scratch=$cache/scratch
log=$cache/last-run.log
sizes_kib=(64 128 256 512 1024)

die() { printf 'bench: %s\n' "$*" >&2; exit 1; }
[[ $runs =~ ^[1-9][0-9]*$ ]] || die "number of runs must be a positive integer, not '$runs'"
[[ -x /usr/bin/time ]] || die "/usr/bin/time (GNU time) is needed for the memory column"
mkdir -p "$scratch" "$cache/keep" || die "cannot create $cache"
(( $(df -Pk "$cache" | awk 'NR == 2 { print $4 }') > 5 * 1024 * 1024 )) || die "need 5 GiB free under $cache"

build() {  # DIR [CMAKE ARGS]
    cmake -S "$root" -B "$1" -DCMAKE_BUILD_TYPE=Release -DMIVARO_TESTS=OFF "${@:2}" >/dev/null &&
        cmake --build "$1" -j2 >/dev/null || die "build in $1 failed"
}
echo "== building"
build "$root/build-bench" -UMIVARO_IO_BLOCK
mivaro=$root/build-bench/mivaro
if ((sweep)); then
    for k in "${sizes_kib[@]}"; do build "$root/build-bench-io$k" -DMIVARO_IO_BLOCK=$((k * 1024)); done
fi
cc -O2 -Wall -Wextra -o "$cache/usercopy" "$root/bench/usercopy.c" || die "usercopy did not build"
c++ -O2 -std=c++20 -o "$cache/make_image" "$root/bench/make_image.cpp" || die "make_image did not build"

# Images are written under temporary names and renamed once complete.
make_vcd_image() {
    local work=$cache/tmp-vcd i mpgs=() src=(testsrc testsrc2 smptebars rgbtestsrc yuvtestsrc pal75bars)
    rm -rf "$work" && mkdir -p "$work" || return 1
    for i in 1 2 3 4 5 6; do
        echo "   encoding track $i of 6"
        ffmpeg -nostdin -loglevel error -y -f lavfi -i "${src[i - 1]}=size=352x288:rate=25:duration=600" \
            -f lavfi -i "sine=frequency=$((220 * i)):sample_rate=44100:duration=600" \
            -target pal-vcd -threads 2 "$work/track$i.mpg" || return 1
        mpgs+=("track$i.mpg")
    done
    (cd "$work" && vcdimager -t vcd2 --cue-file=vcd.cue --bin-file=vcd.bin "${mpgs[@]}" >/dev/null) &&
        mv "$work/vcd.bin" "$work/vcd.cue" "$cache/" && rm -rf "$work"
}
make_generated_image() {  # KIND NAME
    "$cache/make_image" "$1" "$cache/$2.bin.tmp" "$cache/$2.cue.tmp" 6 45000 &&
        sed -i "s/$2\\.bin\\.tmp/$2.bin/" "$cache/$2.cue.tmp" &&
        mv "$cache/$2.bin.tmp" "$cache/$2.bin" && mv "$cache/$2.cue.tmp" "$cache/$2.cue"
}
image=synthetic
if [[ ${BENCH_SYNTHETIC:-0} != 1 ]] && command -v ffmpeg >/dev/null && command -v vcdimager >/dev/null; then
    image=vcd
    [[ -f $cache/vcd.bin ]] || { echo "== making the Video CD image"; make_vcd_image || die "no Video CD image"; }
fi
[[ -f $cache/$image.bin ]] || make_generated_image mpeg synthetic || die "no synthetic image"
[[ -f $cache/plain.bin ]] || make_generated_image plain plain || die "no image without MPEG data"

# The same disc in the other shapes rips come in: a MODE2/2336 sheet, CloneCD
# and Alcohol at 2448 bytes a sector, written by the tests' own tool.
shapes=0
if [[ $image == vcd ]]; then
    if [[ ! -f $cache/rips/d48.mds ]]; then
        echo "== writing the disc in other rip shapes"
            cmake -S "$root" -B "$root/build-bench-tools" -DCMAKE_BUILD_TYPE=Release -DMIVARO_TESTS=ON >/dev/null &&
            cmake --build "$root/build-bench-tools" -j2 --target make_rip_shapes >/dev/null &&
            rm -rf "$cache/rips.tmp" && "$root/build-bench-tools/tests/make_rip_shapes" "$cache/vcd.cue" "$cache/rips.tmp" &&
            rm -f "$cache/rips.tmp/"{bare48.bin,disc.mds,disc.mdf,data.iso} && mv "$cache/rips.tmp" "$cache/rips" ||
            die "the rip shapes could not be written"
    fi
    sed -e 's|MODE2/2352|MODE2/2336|' -e 's|"[^"]*"|"rips/bare36.bin"|' "$cache/vcd.cue" >"$cache/vcd36.cue"
    shapes=1
fi

cd "$cache" || die "cannot enter $cache"  # a CUE sheet names its BIN relative to the working folder
# A read of the disc with one sector in a hundred damaged, for -disc2bin to
# mend from a whole second read.
if [[ ! -f damaged.bin || damaged.bin -ot $image.bin ]]; then
    cp "$image".bin damaged.tmp && python3 -c 'import sys
f = open(sys.argv[1], "r+b")
for s in range(50, int(sys.argv[2]) // 2352, 100):
    f.seek(s * 2352 + 500); b = f.read(1); f.seek(s * 2352 + 500); f.write(bytes([b[0] ^ 1]))' damaged.tmp "$(stat -c %s "$image".bin)" &&
        mv damaged.tmp damaged.bin || die "no damaged copy"
    sed "s/\"[^\"]*\"/\"damaged.bin\"/" "$image".cue >damaged.cue
fi
: >times.txt  # PHASE ROUND JOB SECONDS CPU-SECONDS, a line per timed run
"$mivaro" -cue2mpg "$image".cue scratch/movie.mpg >"$log" || die "cue2mpg failed, see $log"
cat scratch/movie[0-9]*.mpg >stream.mpg
# The MPEG copies start at the first pack header, 24 bytes into its sector.
first_pack=$(grep -obUaP -m1 '\x00\x00\x01\xba' "$image".bin | head -n 1 | cut -d: -f1)
skip=$((${first_pack:-24} - 24))

# job NAME: sets cmd, out (the command's stdout), want (exit status), input
# (the file it reads) and bytes (its size: MB/s and the ballast below are
# counted from it).
# Standard output goes to a new file: ext4 flushes a file that was cut to
# nothing and written again when it is closed, which on the busy machine made
# a job whose stdout went to the same log every run a third slower.
job() {
    out=scratch/stdout want=0 input=$image.bin
    local m=$mivaro
    [[ $1 == *@* ]] && m=$root/build-bench-io${1#*@}/mivaro
    case ${1%@*} in
        cat) cmd=(cat "$image".bin) out=scratch/copy ;;
        cue2raw | cue2dat | cue2mpg) cmd=("$m" "-${1%@*}" "$image".cue scratch/out) ;;
        raw2mpg) cmd=("$m" -raw2mpg "$image".bin scratch/out.mpg) ;;
        disc2mpg) cmd=("$m" -disc2mpg "$image".cue scratch/disc) ;;
        usercopy) cmd=("$cache/usercopy" unpack "$image".bin scratch/out.mpg "$skip") ;;
        replace) cmd=("$m" -cue2mpg "$image".cue keep/movie.mpg) ;;
        rewrite) cmd=("$cache/usercopy" unpack "$image".bin keep/user.mpg "$skip") ;;
        mpg2dat) cmd=("$m" -mpg2dat stream.mpg scratch/out.dat) input=stream.mpg ;;
        userpack) cmd=("$cache/usercopy" pack stream.mpg scratch/out.dat) input=stream.mpg ;;
        read) cmd=(cat plain.bin) out=/dev/null input=plain.bin ;;
        readimage) cmd=(cat "$image".bin) out=/dev/null ;;
        verify) cmd=("$m" -verify "$image".cue) ;;
        hash) cmd=("$m" -verify -hash "$image".cue) ;;
        md5sum | sha1sum) cmd=("$1" "$image".bin) out=/dev/null ;;
        disc2bin) cmd=("$m" -disc2bin "$image".cue scratch/merged) ;;
        disc2bin2) cmd=("$m" -disc2bin damaged.cue "$image".cue scratch/merged) input=damaged.bin ;;
        disc2bin36) cmd=("$m" -disc2bin vcd36.cue scratch/merged) input=rips/bare36.bin ;;
        disc2bin48) cmd=("$m" -disc2bin rips/d48.mds scratch/merged) input=rips/d48.mdf ;;
        disc2mpg36) cmd=("$m" -disc2mpg vcd36.cue scratch/disc) input=rips/bare36.bin ;;
        disc2mpg48) cmd=("$m" -disc2mpg rips/d48.mds scratch/disc) input=rips/d48.mdf ;;
        disc2mpgccd) cmd=("$m" -disc2mpg rips/disc.ccd scratch/disc) input=rips/disc.img ;;
        verify36) cmd=("$m" -verify vcd36.cue) input=rips/bare36.bin ;;
        verify48) cmd=("$m" -verify rips/d48.mds) input=rips/d48.mdf ;;
        verifyccd) cmd=("$m" -verify rips/disc.ccd) input=rips/disc.img ;;
        search) cmd=("$m" -cue2dat plain.cue scratch/out) want=1 input=plain.bin ;;
        verifychd) cmd=("$m" -verify "$image".chd) input=$image.chd ;;
        chdmanverify) cmd=(chdman verify -i "$image".chd) input=$image.chd ;;
        disc2mpgchd) cmd=("$m" -disc2mpg "$image".chd scratch/disc) input=$image.chd ;;
        chdmanextract) cmd=(chdman extractcd -i "$image".chd -o scratch/x.cue -ob scratch/x.bin) input=$image.chd ;;
        vcdxrip) cmd=(env -C scratch vcdxrip -q --nofiles --nosegments -o x.xml --cue-file="$cache/$image.cue") ;;
        bchunk) cmd=(bchunk -r "$image".bin "$image".cue scratch/track) ;;
    esac
    bytes=$(stat -c %s "$input")
}

# Deleting the outputs drops their dirty pages, so no run pays for another's
# writeback. On this VM, memory that stayed free a few seconds is handed back
# to the host and the first write into it faults page by page; writing and
# deleting a ballast file of the output's size gives every run the same
# recently used pages. The sync leaves no earlier run's writeback for this
# one to wait on; the replacing jobs' own outputs live outside scratch/.
declare -A times rss
run() {  # NAME PHASE
    job "$1"
    rm -rf scratch/* && dd if=/dev/zero of=scratch/ballast bs=1M count=$((bytes / 1000000 + 8)) status=none
    rm -f scratch/ballast
    # Every job finds its input in the cache as a first read from disk leaves
    # it: dropped and read again whole. The cache keeps a file in the pieces
    # it was written or read in, and the ballast and the outputs push out
    # parts of some files and not of others: the Alcohol image as the tests'
    # tool wrote it took 30% longer to read from the cache than after this,
    # and the CloneCD image, the same bytes as the CUE/BIN, 20% longer to
    # check through mapped windows.
    dd if="$input" iflag=nocache count=0 status=none
    cat "$input" >/dev/null
    sync
    local t0=$EPOCHREALTIME rc TIMEFORMAT='%3U %3S'
    { time /usr/bin/time -f %M -o rss.txt "${cmd[@]}" >"$out" 2>>"$log.err"; } 2>cpu.txt
    rc=$?
    local t1=$EPOCHREALTIME
    [[ $out == scratch/stdout ]] && cat scratch/stdout >>"$log"
    [[ $rc == "$want" ]] || die "${cmd[*]} ended with status $rc, not $want (its output: $log)"
    local secs
    secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }')
    times[$2.$1]+="$secs "
    [[ -n ${r:-} ]] && echo "$2 $r $1 $secs $(awk '{ printf "%.3f", $1 + $2 }' cpu.txt)" >>"$cache/times.txt"
    local k
    k=$(tail -n 1 rss.txt)
    (( k > ${rss[$1]:-0} )) && rss[$1]=$k
}

busy_pids=()
busy_stop() { ((${#busy_pids[@]})) && kill "${busy_pids[@]}" 2>/dev/null; wait; busy_pids=(); rm -f busy?; }
trap busy_stop EXIT
busy_start() {
    local i
    for i in 1 2; do
        (trap 'kill $! 2>/dev/null; exit' TERM
         while :; do dd if=$image.bin of=busy$i bs=1M status=none & wait $!; done) &
        busy_pids+=($!)
    done
    sleep 2
}

measure() {  # PHASE JOB...
    local phase=$1 r j
    shift
    [[ $phase == busy ]] && busy_start
    echo "== $phase: $runs rounds of $* (load $(cut -d ' ' -f 1 /proc/loadavg))"
    for j; do run "$j" warm; done
    # A new order each round: in a fixed one each job would always follow the
    # same job and inherit the same leftovers of it (pages to free, writeback).
    local order
    for ((r = 1; r <= runs; r++)); do
        mapfile -t order < <(printf '%s\n' "$@" | shuf)
        for j in "${order[@]}"; do run "$j" "$phase"; done
    done
    busy_stop
}

# stat PHASE.JOB: "median|min|max" in seconds.
stat_of() { tr ' ' '\n' <<<"${times[$1]}" | grep . | sort -g |
    awk '{ v[NR] = $1 } END { printf "%s|%s|%s", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2, v[1], v[NR] }'; }
cell() { IFS='|' read -r med lo hi <<<"$(stat_of "$1")"; printf '%.3f (%.2f-%.2f)' "$med" "$lo" "$hi"; }
ratio() { awk -v a="${1%%|*}" -v b="${2%%|*}" 'BEGIN { printf "%.2f", a / b }'; }
# paired PHASE JOB LIMIT [COLUMN]: the median over the rounds of the job's
# time over its limit's time in the same round, which cancels the load's slow
# swings; column 5 of times.txt for processor time.
paired() {
    awk -v p="$1" -v j="$2" -v l="$3" -v c="${4:-4}" '$1 == p { t[$2 " " $3] = $c; r[$2] = 1 }
        END { for (k in r) if ((k " " j) in t && (k " " l) in t) print t[k " " j] / t[k " " l] }' "$cache/times.txt" |
        sort -g | awk '{ v[NR] = $1 } END { printf "%.2f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

header="mivaro $(git -C "$root" describe --always --dirty 2>/dev/null), image: $image ($(($(stat -c %s "$image".bin) / 1000000)) MB), $runs runs, $(nproc) cores"
if ((sweep)); then
    jobs=(cat usercopy)
    for k in "${sizes_kib[@]}"; do jobs+=("cue2mpg@$k" "cue2raw@$k"); done
    measure quiet "${jobs[@]}"
    measure busy "${jobs[@]}"
    echo; echo "$header"; echo
    echo "| buffers | cue2mpg quiet, s | /usercopy | cue2raw quiet, s | /cat | cue2mpg busy, s | /usercopy | cue2raw busy, s | /cat |"
    echo "|---|---|---|---|---|---|---|---|---|"
    for k in "${sizes_kib[@]}"; do
        line="| $k KiB"
        for p in quiet busy; do
            line+=" | $(cell $p.cue2mpg@$k) | $(ratio "$(stat_of $p.cue2mpg@$k)" "$(stat_of $p.usercopy)")"
            line+=" | $(cell $p.cue2raw@$k) | $(ratio "$(stat_of $p.cue2raw@$k)" "$(stat_of $p.cat)")"
        done
        echo "$line |"
    done
    for p in quiet busy; do echo "$p limits: cat $(cell $p.cat) s, usercopy $(cell $p.usercopy) s"; done
    exit 0
fi

# job:limit pairs; the peers are compared with the limit of the same work.
pairs=(cue2raw:cat cue2dat:cat cue2mpg:usercopy raw2mpg:usercopy mpg2dat:userpack search:read verify:readimage replace:rewrite
    hash:md5sum hash:sha1sum)
command -v bchunk >/dev/null && pairs+=(bchunk:cat)
# The whole disc against the per-track extraction of the same image.
[[ $image == vcd ]] && pairs+=(disc2mpg:cue2mpg)
pairs+=(disc2bin:cat disc2bin2:cat)
# Every other shape against the same job on the 2352-byte CUE/BIN.
((shapes)) && pairs+=(disc2bin36:disc2bin disc2bin48:disc2bin disc2mpg36:disc2mpg disc2mpg48:disc2mpg disc2mpgccd:disc2mpg verify36:verify verify48:verify
    verifyccd:verify)
command -v vcdxrip >/dev/null && [[ $image == vcd ]] && pairs+=(vcdxrip:usercopy)
# The same disc as chdman's CHD with its default codecs, against chdman's own
# verify and extraction of it.
if command -v chdman >/dev/null; then
    if [[ ! -f $image.chd ]]; then
        echo "== making $image.chd"
        chdman createcd -f -i "$image".cue -o "$image".chd.tmp >/dev/null 2>&1 && mv "$image".chd.tmp "$image".chd ||
            die "chdman could not make $image.chd"
    fi
    pairs+=(verifychd:chdmanverify)
    [[ $image == vcd ]] && pairs+=(disc2mpgchd:chdmanextract)
fi
((replace_only)) && pairs=(cue2mpg:usercopy replace:rewrite)
if [[ -n ${BENCH_ONLY:-} ]]; then
    kept=()
    for p in "${pairs[@]}"; do [[ " $BENCH_ONLY " == *" ${p%:*} "* ]] && kept+=("$p"); done
    ((${#kept[@]})) || die "BENCH_ONLY names no job of the table"
    pairs=("${kept[@]}")
fi
jobs=()
for p in "${pairs[@]}"; do jobs+=("${p%:*}" "${p#*:}"); done
mapfile -t jobs < <(printf "%s\n" "${jobs[@]}" | awk "!seen[\$0]++")
measure quiet "${jobs[@]}"
((replace_only)) || measure busy "${jobs[@]}"

echo; echo "$header"; echo
if ((replace_only)); then
    echo "| job | limit | ratio | paired | job, s: median (min-max) | limit, s |"
    echo "|---|---|--:|--:|---|---|"
    for p in "${pairs[@]}"; do
        j=${p%:*} l=${p#*:}
        echo "| $j | $l | $(ratio "$(stat_of quiet.$j)" "$(stat_of quiet.$l)") | $(paired quiet "$j" "$l")" \
            "| $(cell quiet.$j) | $(cell quiet.$l) |"
    done
    exit 0
fi
echo "| job | limit | ratio quiet | ratio busy | paired quiet | paired busy | paired CPU quiet | quiet, s: median (min-max) | busy, s | limit quiet, s | limit busy, s | MB/s quiet | peak RSS |"
echo "|---|---|--:|--:|--:|--:|--:|---|---|---|---|--:|--:|"
for p in "${pairs[@]}"; do
    j=${p%:*} l=${p#*:}
    job "$j"
    mbps=$(awk -v b="$bytes" -v t="$(stat_of quiet.$j)" 'BEGIN { printf "%.0f", b / 1e6 / t }')
    mem=$(awk -v k="${rss[$j]}" 'BEGIN { printf "%.1f MiB", k / 1024 }')
    echo "| $j | $l | $(ratio "$(stat_of quiet.$j)" "$(stat_of quiet.$l)") | $(ratio "$(stat_of busy.$j)" "$(stat_of busy.$l)")" \
        "| $(paired quiet "$j" "$l") | $(paired busy "$j" "$l") | $(paired quiet "$j" "$l" 5)" \
        "| $(cell quiet.$j) | $(cell busy.$j) | $(cell quiet.$l) | $(cell busy.$l) | $mbps | $mem |"
done
if [[ -n ${times[quiet.vcdxrip]:-} ]]; then
    for j in cue2mpg raw2mpg mpg2dat disc2mpg; do
        printf '%s: vcdxrip is %s times slower quiet, %s busy\n' "$j" \
            "$(ratio "$(stat_of quiet.vcdxrip)" "$(stat_of quiet.$j)")" "$(ratio "$(stat_of busy.vcdxrip)" "$(stat_of busy.$j)")"
    done
fi
