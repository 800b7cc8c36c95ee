#!/bin/sh
# Checks mivaro on real Video CD material made here by ffmpeg and vcdimager,
# against readers that share no code with it (vcdxrip, cdxa2mpeg, ffprobe)
# and against the source clips. Usage: run.sh path/to/mivaro
# One line per check; exit 1 on any failure, 77 (skipped) without the tools.
set -u
mivaro=$(realpath "$1") here=$(cd "$(dirname "$0")" && pwd)
for tool in ffmpeg ffprobe vcdimager vcdxrip cdxa2mpeg python3; do
    command -v $tool >/dev/null 2>&1 || { echo "skipped: $tool is not installed"; exit 77; }
done
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT && cd "$work" && failed=0
check() {
    if (eval "$2") >log 2>&1; then echo "ok   $1"; else echo "FAIL $1"; tail -n 5 log; failed=1; fi
}
py() { python3 "$here/interop.py" "$@"; }
m() { "$mivaro" "$@" >mivaro.log; }
clip() { ffmpeg -nostdin -loglevel error -f lavfi -i "$2" -f lavfi -i sine=frequency=440 -t 2 -target "$3" -y "$1"; }
check "ffmpeg makes the clips" 'clip pal.mpg testsrc=size=352x288:rate=25 pal-vcd &&
    clip ntsc.mpg smptebars=size=352x240:rate=30000/1001 ntsc-vcd && clip svcd.mpg testsrc svcd'

# image <type> <clip...>: vcdimager gives each MPEG track a pregap entry, so
# clip k is entry 2k; the same image is also split into one BIN per track.
image() {
    d=$1 && shift && n=$#
    check "$d: vcdimager makes the image, vcdxrip reads it, and its split set" "mkdir -p $d/split $d/rip &&
        vcdimager --quiet --type=$d --cue-file=$d/image.cue --bin-file=$d/image.bin $* >/dev/null &&
        (cd $d/rip && vcdxrip --quiet --cue-file=../image.cue --output-file=rip.xml) && py split $d/image.cue $d/image.bin $d/split"
    check "$d: -verify finds every sector of the image, its split set and its BIN whole" \
        "m -verify $d/image.cue && m -verify $d/split/image.cue && m -verify $d/image.bin"
    check "$d: cue2mpg, cue2raw and cue2dat on the image and on its split set" "for x in mpg raw dat; do
        (cd $d && m -cue2\$x image.cue out.\$x) && (cd $d/split && m -cue2\$x image.cue out.\$x) || exit 1; done"
    k=0 && for c in "$@"; do
        k=$((k + 1)) && e=$(printf %02d $((2 * k))) && p=$(printf %02d $((2 * k - 1)))
        check "$d: entry $e and its DAT (by cdxa2mpeg) are $c then zeros, ffprobe reads it like $c, it is vcdxrip's sequence $k; its pregap is empty" \
            "py clip_then_zeros $d/out$e.mpg $c && py probe_like $c $d/out$e.mpg && py same_but_trailing_zeros $d/rip/avseq0$k.mpg $d/out$e.mpg && test ! -s $d/out$p.mpg && { cdxa2mpeg $d/out$e.dat $d/x$e.mpg; py clip_then_zeros $d/x$e.mpg $c; }"
    done
    for i in $(seq -f %02g 1 $((2 * n))); do
        check "$d: split set, entry $i: same movie data, raw sectors and DAT" "py same_but_trailing_zeros $d/out$i.mpg $d/split/out$i.mpg &&
            py prefix_within_sector $d/out$i.raw $d/split/out$i.raw && py prefix_within_sector $d/out$i.dat $d/split/out$i.dat"
    done
}
image vcd2 pal.mpg ntsc.mpg
image svcd svcd.mpg

for c in pal.mpg svcd.mpg; do
    check "mpg2dat $c: cdxa2mpeg reads it back, dat2mpg gives $c back exactly" \
        "m -mpg2dat $c $c.dat && cdxa2mpeg $c.dat $c.x; py clip_then_zeros $c.x $c && m -dat2mpg $c.dat $c.back && cmp $c $c.back"
done
exit $failed
