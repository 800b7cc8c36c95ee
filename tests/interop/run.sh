#!/bin/sh
# Checks mivaro on real Video CD material made here by ffmpeg and vcdimager,
# against readers that share no code with it (vcdxrip, cdxa2mpeg, ffprobe)
# and against the source clips. Usage: run.sh path/to/mivaro
# One line per check; exit 1 on any failure, 77 (skipped) without the tools.
set -u
mivaro=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
for tool in ffmpeg ffprobe vcdimager vcdxrip cdxa2mpeg python3; do
    command -v $tool >/dev/null 2>&1 || { echo "skipped: $tool is not installed"; exit 77; }
done
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT && cd "$work" && failed=0
check() {
    if (eval "$2") >log 2>&1; then echo "ok   $1"; else echo "FAIL $1"; tail -n 5 log; failed=1; fi
}
py() { python3 "$here/interop.py" "$@"; }
m() { "$mivaro" "$@" >mivaro.log; }

clip() {
    ffmpeg -nostdin -loglevel error -f lavfi -i "$2" -f lavfi -i sine=frequency=440 -t 2 -target "$3" -y "$1"
}
check "ffmpeg makes the clips" 'clip pal.mpg testsrc=size=352x288:rate=25 pal-vcd &&
    clip ntsc.mpg smptebars=size=352x240:rate=30000/1001 ntsc-vcd && clip svcd.mpg testsrc svcd'

# image <type> <clip...>: vcdimager gives each MPEG track a pregap entry, so
# clip k is entry 2k; the same image is also split into one BIN per track.
image() {
    type=$1 && shift && d=$type && n=$#
    check "$type: vcdimager makes the image and its split set" "mkdir -p $d/split $d/rip &&
        vcdimager --quiet --type=$type --cue-file=$d/image.cue --bin-file=$d/image.bin $* >/dev/null &&
        py split $d/image.cue $d/image.bin $d/split"
    for mode in mpg raw dat; do
        check "$type: cue2$mode on the image and on its split set" \
            "(cd $d && m -cue2$mode image.cue out.$mode) && (cd $d/split && m -cue2$mode image.cue out.$mode)"
    done
    check "$type: vcdxrip reads the image" "cd $d/rip && vcdxrip --quiet --cue-file=../image.cue --output-file=rip.xml"
    k=0 && for c in "$@"; do
        k=$((k + 1)) && e=$(printf %02d $((2 * k))) && p=$(printf %02d $((2 * k - 1)))
        check "$type: entry $e is $c then zeros, its pregap empty" "py clip_then_zeros $d/out$e.mpg $c && test ! -s $d/out$p.mpg"
        check "$type: ffprobe reads entry $e like $c" "py probe_like $c $d/out$e.mpg"
        check "$type: vcdxrip's sequence $k is entry $e" "py same_but_trailing_zeros $d/rip/avseq$(printf %02d $k).mpg $d/out$e.mpg"
        check "$type: cdxa2mpeg reads entry $e's DAT as $c" "cdxa2mpeg $d/out$e.dat $d/x$e.mpg; py clip_then_zeros $d/x$e.mpg $c"
    done
    for i in $(seq -f %02g 1 $((2 * n))); do
        check "$type: split set, entry $i: same movie data, raw sectors and DAT" "py same_but_trailing_zeros $d/out$i.mpg $d/split/out$i.mpg &&
            py prefix_within_sector $d/out$i.raw $d/split/out$i.raw && py prefix_within_sector $d/out$i.dat $d/split/out$i.dat"
    done
}
image vcd2 pal.mpg ntsc.mpg
image svcd svcd.mpg

for c in pal.mpg svcd.mpg; do
    check "mpg2dat $c: cdxa2mpeg reads it back" "m -mpg2dat $c $c.dat && cdxa2mpeg $c.dat $c.x; py clip_then_zeros $c.x $c"
    check "mpg2dat then dat2mpg gives $c back exactly" "m -dat2mpg $c.dat $c.back && cmp $c $c.back"
done
exit $failed
