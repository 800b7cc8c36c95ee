#!/usr/bin/env bash
# Checks mivaro against real Video CD material made here by ffmpeg and
# vcdimager, with readers that share no code with it: vcdxrip and cdxa2mpeg
# (vcdimager's own extractors), ffprobe, and a few lines of python3 that
# compute what each output must hold straight from the source clips.
#
# Usage: run.sh path/to/mivaro
# Prints one line per check and "N passed, M failed"; exits 1 on any failure
# and 77 (skipped) when the tools are missing.
set -u

mivaro=${1:?usage: run.sh path/to/mivaro}
for tool in ffmpeg ffprobe vcdimager vcdxrip cdxa2mpeg python3 cmp; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "skipped: ffmpeg/vcdimager missing ($tool not found)"
        exit 77
    fi
done
case $mivaro in /*) ;; *) mivaro=$(pwd)/$mivaro ;; esac
here=$(cd "$(dirname "$0")" && pwd)
data=$here/../data

if [ ! -x "$mivaro" ]; then
    echo "no mivaro binary at $mivaro"
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/mivaro-interop.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

passed=0
failed=0
skipped=0

# check <description> <command...>: runs the command, its output kept for
# the report; a failing check shows the first lines of it.
check() {
    local what=$1
    shift
    if "$@" >"$work/check.log" 2>&1; then
        echo "PASS  $what"
        passed=$((passed + 1))
    else
        echo "FAIL  $what"
        sed -n '1,15s/^/        /p' "$work/check.log"
        failed=$((failed + 1))
    fi
}

skip() {
    echo "SKIP  $1"
    skipped=$((skipped + 1))
}

# ---------------------------------------------------------------------------
# Independent expectations. Nothing here knows how mivaro works inside; it
# only knows the formats.
cat >"$work/vcd.py" <<'PYTHON'
import json, re, subprocess, sys

BLOCK = 2324    # Form 2 user data
SECTOR = 2352   # raw sector

def load(p):
    with open(p, 'rb') as f:
        return f.read()

def save(p, b):
    with open(p, 'wb') as f:
        f.write(b)

def fail(msg):
    print(msg)
    sys.exit(1)

def without_zero_blocks(src, out):
    """The source less its all-zero 2324-byte blocks."""
    d = load(src)
    keep = [d[i:i + BLOCK] for i in range(0, len(d), BLOCK)]
    save(out, b''.join(b for b in keep if any(b)))

def clip_then_zeros(got, src):
    """got is exactly src followed by nothing but zero bytes."""
    g, s = load(got), load(src)
    if len(g) < len(s):
        fail(f'{got}: {len(g)} bytes, shorter than {src} ({len(s)} bytes)')
    if g[:len(s)] != s:
        at = next(i for i in range(len(s)) if g[i] != s[i])
        fail(f'{got}: differs from {src} at byte {at}')
    tail = g[len(s):]
    if any(tail):
        at = len(s) + next(i for i, x in enumerate(tail) if x)
        fail(f'{got}: non-zero byte at {at} after the {len(s)}-byte clip')
    print(f'{got}: clip of {len(s)} bytes, then {len(tail)} zero bytes')

def same_but_trailing_zeros(a, b):
    x, y = load(a).rstrip(b'\0'), load(b).rstrip(b'\0')
    if x != y:
        fail(f'{a} and {b} differ beyond trailing zero bytes ({len(x)} vs {len(y)} bytes)')

def positions(cue):
    """Sector position of every INDEX line, in sheet order."""
    text = load(cue).decode('latin-1')
    return [int(m) * 4500 + int(s) * 75 + int(f)
            for m, s, f in re.findall(r'INDEX\s+\d+\s+(\d+):(\d+):(\d+)', text)]

def entry_bytes(cue, binfile, entry, out):
    """The raw sectors an entry spans: from its INDEX position up to one
    sector before the next one, the last entry to the end of the BIN."""
    pos = positions(cue)
    b = load(binfile)
    entry = int(entry)
    start = pos[entry] * SECTOR
    end = (pos[entry + 1] - 1) * SECTOR if entry + 1 < len(pos) else len(b) // SECTOR * SECTOR
    save(out, b[start:end])

DAT_HEADER = bytes.fromhex('52494646443f2d1943445841666d74201000000000000000111158410100000000000000'
                           '64617461203f2d19')

def dat_of(raw, out):
    save(out, DAT_HEADER + load(raw))

def edit_sheet(cue, out, drop_pregaps, line_end):
    lines = load(cue).decode('latin-1').splitlines()
    if drop_pregaps == 'yes':
        lines = [l for l in lines if not re.match(r'\s*INDEX\s+0+\s', l)]
    save(out, ''.join(l + {'lf': '\n', 'crlf': '\r\n'}[line_end] for l in lines).encode('latin-1'))

def probe(path):
    r = subprocess.run(['ffprobe', '-v', 'error', '-of', 'json', '-show_entries',
                        'stream=codec_type,codec_name,width,height,r_frame_rate,sample_rate,channels'
                        ':format=duration', path], capture_output=True, text=True)
    if r.returncode != 0:
        fail(f'ffprobe {path}: {r.stderr.strip()}')
    j = json.loads(r.stdout)
    streams = sorted(tuple(sorted(s.items())) for s in j.get('streams', []))
    return streams, float(j.get('format', {}).get('duration', 'nan'))

def probe_like(src, got, tolerance):
    s_streams, s_dur = probe(src)
    g_streams, g_dur = probe(got)
    if not s_streams:
        fail(f'ffprobe finds no streams in {src}')
    if g_streams != s_streams:
        fail(f'{got}: streams {g_streams}\n  source has {s_streams}')
    if not abs(g_dur - s_dur) <= float(tolerance):
        fail(f'{got}: duration {g_dur} s, source {s_dur} s')
    print(f'{got}: {len(g_streams)} streams as in the source, {g_dur} s')

def insert_zero_blocks(src, out, *after):
    """A copy of src with one all-zero block after each given block number."""
    d = load(src)
    blocks = [d[i:i + BLOCK] for i in range(0, len(d), BLOCK)]
    for n in sorted(map(int, after), reverse=True):
        blocks.insert(n + 1, bytes(BLOCK))
    save(out, b''.join(blocks))

def with_bumper(opening, movie, out):
    """A CD-i style opening in front of the movie: the opening's last pack
    ends in an MPEG end code."""
    o = bytearray(load(opening))
    o[-4:] = bytes.fromhex('000001b9')
    save(out, bytes(o) + load(movie))

def bumper_cut(got, movie):
    """In a disc image the byte after the end code is the sector's EDC field,
    so the first chunk copied is no pack: it is dropped with the movie's
    first pack, and a 9296-byte initial sequence of four packs stands in for
    them. The rest is the movie."""
    g, m = load(got), load(movie)
    seq = 4 * BLOCK
    if g[seq:] != m[BLOCK:]:
        fail(f'{got}: after {seq} bytes not the movie from its second pack ({len(g)} vs {len(m)} bytes)')
    for at in (0, 2324, 4628, 6952):
        if g[at:at + 4] != bytes.fromhex('000001ba'):
            fail(f'{got}: no pack header at {at}')
    for at in (6948, 9252):
        if g[at:at + 4] != bytes.fromhex('000001b9'):
            fail(f'{got}: no end code at {at}')
    print(f'{got}: initial sequence, then the movie from its second pack')

def zero_blocks(src):
    d = load(src)
    print(sum(1 for i in range(0, len(d), BLOCK) if not any(d[i:i + BLOCK])))

globals()[sys.argv[1]](*sys.argv[2:])
PYTHON
vcd() { python3 "$work/vcd.py" "$@"; }

# Runs mivaro in the current folder, its output kept in mivaro.log; a
# non-zero exit status is reported with the end of that output.
run_mivaro() {
    "$mivaro" "$@" >mivaro.log 2>&1
    local rc=$?
    if [ $rc -ne 0 ]; then
        echo "mivaro $* exited with status $rc:"
        tail -c 400 mivaro.log | tr '\r\376' '\n*'
    fi
    return $rc
}

# mivaro_gives <folder> <file written> <file expected> <mivaro arguments...>
mivaro_gives() {
    local dir=$1 got=$2 want=$3
    shift 3
    (cd "$dir" && rm -f "$got" && run_mivaro "$@" && cmp "$got" "$want")
}

empty_file() {
    if [ ! -f "$1" ] || [ -s "$1" ]; then
        echo "$1: missing or not empty"
        ls -l "$1"
        return 1
    fi
}

same_file() {
    cmp "$1" "$2"
}

show_and_fail() {
    cat "$1"
    return 1
}

# cdxa_gives <folder> <DAT file> <expected stream> [padded]: the stream
# vcdimager's DAT reader takes out of a DAT file is the expected one (with
# "padded": followed only by zero bytes, as when the DAT holds a whole track
# with its rear margin). Our DAT headers state a fixed data size larger than
# the file, which it reports as a premature end; any other complaint fails.
cdxa_gives() {
    (
        cd "$1" || exit 1
        out=$(cdxa2mpeg "$2" "$2.cdxa.mpg" 2>&1)
        rc=$?
        if [ $rc -ne 0 ] && ! printf '%s\n' "$out" | grep -q 'premature end of file'; then
            printf 'cdxa2mpeg exited with status %s:\n%s\n' "$rc" "$out"
            exit 1
        fi
        if [ "${4:-}" = padded ]; then
            python3 "$work/vcd.py" clip_then_zeros "$2.cdxa.mpg" "$3"
        else
            cmp "$2.cdxa.mpg" "$3"
        fi
    )
}

# dat_round_trip <folder> <MPEG file> <DAT file> <expected stream> <options...>:
# mivaro with the options makes the DAT file, and cdxa2mpeg reads the
# expected stream out of it.
dat_round_trip() {
    local dir=$1 in=$2 dat=$3 want=$4
    shift 4
    (cd "$dir" && rm -f "$dat" && run_mivaro "$@" "$in" "$dat") && cdxa_gives "$dir" "$dat" "$want"
}

# ---------------------------------------------------------------------------
# Material: three clips and three images.
# make_clip <name> <lavfi video> <tone Hz> <ffmpeg target>
make_clip() {
    ffmpeg -nostdin -hide_banner -loglevel error -threads 1 \
        -f lavfi -i "$2" -f lavfi -i "sine=frequency=$3:sample_rate=44100" \
        -t 3 -target "$4" -threads 1 -map_metadata -1 \
        -fflags +bitexact -flags:v +bitexact -flags:a +bitexact -y "$1"
}

echo "interop: material in $work"
mkdir src
(
    cd src &&
    make_clip pal.mpg testsrc=size=352x288:rate=25 440 pal-vcd &&
    make_clip ntsc.mpg smptebars=size=352x240:rate=30000/1001 660 ntsc-vcd &&
    make_clip svcd.mpg testsrc2=size=480x576:rate=25 550 pal-svcd
) || { echo "FAIL  ffmpeg could not make the clips"; echo "0 passed, 1 failed"; exit 1; }

# make_image <folder> <vcdimager type> <clip...>: <folder>/image.cue and .bin
make_image() {
    local dir=$1 type=$2
    shift 2
    mkdir -p "$dir" || return 1
    if ! (
        cd "$dir" &&
        for c in "$@"; do cp "$work/src/$c" .; done &&
        vcdimager --quiet --type="$type" --cue-file=image.cue --bin-file=image.bin "$@" >vcdimager.log 2>&1
    ); then
        cat "$dir/vcdimager.log"
        return 1
    fi
}

check "vcdimager: VCD 2.0 image of a PAL and an NTSC clip" make_image vcd2 vcd2 pal.mpg ntsc.mpg
check "vcdimager: VCD 1.1 image of an NTSC clip" make_image vcd11 vcd11 ntsc.mpg
check "vcdimager: SVCD image of a PAL MPEG-2 clip" make_image svcd svcd svcd.mpg

# ---------------------------------------------------------------------------
# cue2mpg on each image. vcdimager gives every MPEG track an INDEX 00 pregap,
# so clip k is entry 2k and entry 2k-1 is its pregap.

# entry_names <prefix> <count>: the per-entry output names prefix01.mpg ...
entry_names() {
    local k
    for k in $(seq 1 "$2"); do printf '%s%02d.mpg\n' "$1" "$k"; done
}

# writes_entries <folder> <prefix> <count> <mivaro arguments...>: mivaro exits
# 0 and writes exactly the numbered outputs prefix01.mpg to prefix<count>.mpg.
writes_entries() {
    local dir=$1 prefix=$2 count=$3
    shift 3
    (
        cd "$dir" && rm -f "$prefix"*.mpg && run_mivaro "$@" || exit 1
        got=$(ls "$prefix"*.mpg 2>/dev/null)
        want=$(entry_names "$prefix" "$count")
        [ "$got" = "$want" ] || { printf 'outputs:\n%s\nexpected:\n%s\n' "$got" "$want"; exit 1; }
    )
}

pregaps_empty() {
    local dir=$1 prefix=$2 n=$3 k
    for k in $(seq 1 "$n"); do
        empty_file "$dir/$(printf '%s%02d.mpg' "$prefix" $((2 * k - 1)))" || return 1
    done
}

image_checks() {
    local dir=$1 label=$2
    shift 2
    local n=$# k clip r
    if [ ! -f "$dir/image.bin" ]; then
        skip "$label: no image to read"
        return
    fi
    echo "      $label sheet: $(tr -d '\r' <"$dir/image.cue" | tr -s ' \n' ' ')"

    check "$label: cue2mpg writes one output per INDEX line after the first" \
        writes_entries "$dir" out $((2 * n)) -cue2mpg image.cue out.mpg
    check "$label: cue2mpg leaves the pregap entries empty" pregaps_empty "$dir" out "$n"
    k=0
    for clip in "$@"; do
        k=$((k + 1))
        check "$label: cue2mpg entry $((2 * k)) is $clip, then only zero bytes" \
            vcd clip_then_zeros "$dir/$(printf 'out%02d.mpg' $((2 * k)))" "$dir/$clip"
        check "$label: ffprobe reads entry $((2 * k)) like $clip" \
            vcd probe_like "$dir/$clip" "$dir/$(printf 'out%02d.mpg' $((2 * k)))" 0.05
    done

    check "$label: cue2mpg -fix writes one output per INDEX line after the first" \
        writes_entries "$dir" fix $((2 * n)) -cue2mpg -fix image.cue fix.mpg
    check "$label: cue2mpg -fix leaves the pregap entries empty" pregaps_empty "$dir" fix "$n"
    k=0
    for clip in "$@"; do
        k=$((k + 1))
        vcd without_zero_blocks "$dir/$clip" "$dir/$clip.nozero"
        check "$label: cue2mpg -fix entry $((2 * k)) is $clip less its $(vcd zero_blocks "$dir/$clip") all-zero blocks" \
            same_file "$dir/$(printf 'fix%02d.mpg' $((2 * k)))" "$dir/$clip.nozero"
    done

    mkdir -p "$dir/rip"
    if (cd "$dir/rip" && vcdxrip --quiet --cue-file=../image.cue --output-file=rip.xml >rip.log 2>&1); then
        local ripped
        ripped=$(cd "$dir/rip" && ls -- *.mpg 2>/dev/null)
        check "$label: vcdxrip finds $n MPEG sequence(s)" \
            test "$(printf '%s\n' "$ripped" | grep -c '\.mpg$')" -eq "$n"
        k=0
        for r in $ripped; do
            k=$((k + 1))
            check "$label: vcdxrip's $r equals our entry $((2 * k)) (trailing zeros aside)" \
                vcd same_but_trailing_zeros "$dir/rip/$r" "$dir/$(printf 'out%02d.mpg' $((2 * k)))"
        done
    else
        check "$label: vcdxrip reads the image" show_and_fail "$dir/rip/rip.log"
    fi
}

image_checks vcd2 "VCD 2.0" pal.mpg ntsc.mpg
image_checks vcd11 "VCD 1.1" ntsc.mpg
image_checks svcd "SVCD" svcd.mpg

# ---------------------------------------------------------------------------
# Other spellings of the VCD 2.0 sheet. vcdimager writes CRLF line ends.
if [ -f vcd2/image.bin ]; then
    vcd edit_sheet vcd2/image.cue vcd2/nopre_crlf.cue yes crlf
    vcd edit_sheet vcd2/image.cue vcd2/nopre_lf.cue yes lf
    vcd edit_sheet vcd2/image.cue vcd2/all_lf.cue no lf

    check "VCD 2.0 without INDEX 00 lines (CRLF): two outputs" \
        writes_entries vcd2 a 2 -cue2mpg nopre_crlf.cue a.mpg
    check "VCD 2.0 without INDEX 00 lines (CRLF): entry 1 is pal.mpg, then only zero bytes" \
        vcd clip_then_zeros vcd2/a01.mpg vcd2/pal.mpg
    check "VCD 2.0 without INDEX 00 lines (CRLF): entry 2 is ntsc.mpg, then only zero bytes" \
        vcd clip_then_zeros vcd2/a02.mpg vcd2/ntsc.mpg
    check "VCD 2.0 without INDEX 00 lines (LF): two outputs" \
        writes_entries vcd2 b 2 -cue2mpg nopre_lf.cue b.mpg
    check "VCD 2.0 without INDEX 00 lines (LF): entry 1 as with CRLF" same_file vcd2/b01.mpg vcd2/a01.mpg
    check "VCD 2.0 without INDEX 00 lines (LF): entry 2 as with CRLF" same_file vcd2/b02.mpg vcd2/a02.mpg
    check "VCD 2.0 without INDEX 00 lines, -fix: two outputs" \
        writes_entries vcd2 nf 2 -cue2mpg -fix nopre_lf.cue nf.mpg
    check "VCD 2.0 without INDEX 00 lines, -fix: entry 1 is pal.mpg less its all-zero blocks" \
        same_file vcd2/nf01.mpg vcd2/pal.mpg.nozero
    check "VCD 2.0 without INDEX 00 lines, -fix: entry 2 is ntsc.mpg less its all-zero blocks" \
        same_file vcd2/nf02.mpg vcd2/ntsc.mpg.nozero
    # ffmpeg writes no end code, so there is no bumper for -nobumper to cut.
    check "VCD 2.0, -nobumper: four outputs" \
        writes_entries vcd2 nb 4 -cue2mpg -nobumper image.cue nb.mpg
    check "VCD 2.0, -nobumper: entries 2 and 4 are the clips less their all-zero blocks" \
        sh -c 'cmp "$1/nb02.mpg" "$1/pal.mpg.nozero" && cmp "$1/nb04.mpg" "$1/ntsc.mpg.nozero"' - vcd2
    check "VCD 2.0, vcdimager's sheet with LF line ends: four outputs" \
        writes_entries vcd2 c 4 -cue2mpg all_lf.cue c.mpg
    for k in 01 02 03 04; do
        check "VCD 2.0, vcdimager's sheet with LF line ends: entry $k as with CRLF" \
            same_file vcd2/c$k.mpg vcd2/out$k.mpg
    done

    # ------------------------------------------------------------------------
    # Round trips on the first movie (entry 2), and DAT files read back by
    # vcdimager's own cdxa2mpeg.
    vcd entry_bytes vcd2/image.cue vcd2/image.bin 2 vcd2/entry2.raw
    vcd dat_of vcd2/entry2.raw vcd2/entry2.dat

    check "VCD 2.0: cue2mpg -track2 writes entry 2 alone under the given name" \
        mivaro_gives vcd2 t2.mpg out02.mpg -cue2mpg -track2 image.cue t2.mpg
    check "VCD 2.0: cue2raw -track2 copies the entry's raw sectors unchanged" \
        mivaro_gives vcd2 t2.raw entry2.raw -cue2raw -track2 image.cue t2.raw
    check "VCD 2.0: raw2mpg of that track gives the cue2mpg stream" \
        mivaro_gives vcd2 r2.mpg out02.mpg -raw2mpg t2.raw r2.mpg
    check "VCD 2.0: raw2mpg -fix of that track gives the clip" \
        mivaro_gives vcd2 r2fix.mpg pal.mpg.nozero -raw2mpg -fix t2.raw r2fix.mpg
    check "VCD 2.0: cue2dat -track2 is the RIFF CDXA header and the entry's raw sectors" \
        mivaro_gives vcd2 t2.dat entry2.dat -cue2dat -track2 image.cue t2.dat
    check "VCD 2.0: dat2mpg of that DAT gives the cue2mpg stream" \
        mivaro_gives vcd2 d2.mpg out02.mpg -dat2mpg t2.dat d2.mpg
    check "VCD 2.0: dat2mpg -fix of that DAT gives the clip" \
        mivaro_gives vcd2 d2fix.mpg pal.mpg.nozero -dat2mpg -fix t2.dat d2fix.mpg
    check "VCD 2.0: raw2dat of the raw track gives the same DAT as cue2dat" \
        mivaro_gives vcd2 rd.dat entry2.dat -raw2dat t2.raw rd.dat
    check "VCD 2.0: cdxa2mpeg reads the clip, then only zero bytes, out of cue2dat's DAT" \
        cdxa_gives vcd2 t2.dat pal.mpg padded
fi

for clip in pal.mpg ntsc.mpg svcd.mpg; do
    check "$clip: mpg2dat, then cdxa2mpeg gives the clip back" \
        dat_round_trip src "$clip" "$clip.dat" "$clip" -mpg2dat
    check "$clip: ffprobe reads the mpg2dat output like the clip" \
        vcd probe_like "src/$clip" "src/$clip.dat" 0.05
    check "$clip: mpg2mpg re-cuts the clip unchanged" \
        mivaro_gives src "$clip.same" "$clip" -mpg2mpg "$clip" "$clip.same"

    # All-zero blocks, as a damaged or carelessly cut stream may hold; two of
    # them in a row are skipped by one re-synchronisation.
    vcd insert_zero_blocks "src/$clip" "src/$clip.holes" 10 50 50
    vcd without_zero_blocks "src/$clip.holes" "src/$clip.holes.want"
    check "$clip with 3 all-zero blocks: mpg2mpg -fix drops exactly them" \
        mivaro_gives src "$clip.mended" "$clip.holes.want" -mpg2mpg -fix "$clip.holes" "$clip.mended"
    check "$clip with 3 all-zero blocks: mpg2mpg -fix reports 2 corrections" \
        grep -q "2 MPEG block correction(s) applied" src/mivaro.log
    check "$clip with 3 all-zero blocks: mpg2dat -fix, then cdxa2mpeg gives the clip less them" \
        dat_round_trip src "$clip.holes" "$clip.holes.dat" "$clip.holes.want" -mpg2dat -fix
done

# ---------------------------------------------------------------------------
# A CD-i bumper: a one-second opening whose last pack ends in an end code, in
# front of the PAL clip, on a VCD 2.0 image and as a plain stream.
bumper_material() {
    (cd src && make_clip opening.mpg testsrc=size=352x288:rate=25 300 pal-vcd) &&
        vcd with_bumper src/opening.mpg src/pal.mpg src/bumpered.mpg &&
        make_image bump vcd2 bumpered.mpg
}
check "bumper: ffmpeg and vcdimager make the material" bumper_material
if [ -f bump/image.bin ]; then
    check "bumper: mpg2dat -nobumper, then cdxa2mpeg gives exactly the clip" \
        dat_round_trip src bumpered.mpg bumpered.dat pal.mpg -mpg2dat -nobumper
    check "bumper: cue2mpg -nobumper cuts the opening from entry 2" \
        sh -c 'cd "$1" && rm -f nb*.mpg && "$2" -cue2mpg -nobumper image.cue nb.mpg >nb.log &&
               grep -q "pre-scanning" nb.log && grep -q "initital sequence correction applied" nb.log &&
               python3 "$3" bumper_cut nb02.mpg ../src/pal.mpg' - bump "$mivaro" "$work/vcd.py"
    (cd bump && "$mivaro" -cue2raw -track2 image.cue t2.raw >/dev/null && "$mivaro" -cue2dat -track2 image.cue t2.dat >/dev/null)
    check "bumper: raw2mpg -nobumper of the raw track gives the same stream" \
        mivaro_gives bump r.mpg nb02.mpg -raw2mpg -nobumper t2.raw r.mpg
    check "bumper: dat2mpg -nobumper of the DAT gives the same stream" \
        mivaro_gives bump d.mpg nb02.mpg -dat2mpg -nobumper t2.dat d.mpg
    check "bumper: ffprobe reads the cut stream like the clip" \
        vcd probe_like src/pal.mpg bump/nb02.mpg 0.1
fi

# ---------------------------------------------------------------------------
# The committed sample: its script must still make the same bytes.
sample_reproduced() {
    "$data/make_sample.sh" "$work/sample" || return 1
    local f
    for f in clip1.mpg clip2.mpg sample.cue sample.bin; do
        cmp "$work/sample/$f" "$data/sample/$f" || return 1
    done
}
if reason=$("$data/make_sample.sh" --check-tools 2>&1); then
    check "committed sample: make_sample.sh makes the same four files" sample_reproduced
else
    skip "committed sample reproducibility: $(printf '%s' "$reason" | tr '\n' ';')"
fi

echo "$passed passed, $failed failed"
[ "$skipped" -eq 0 ] || echo "($skipped skipped)"
[ "$failed" -eq 0 ]
