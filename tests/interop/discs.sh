#!/bin/sh
# Whole discs made here by vcdxbuild from small descriptions (a VCD 2.0 with
# segment items, a menu, entry points and files of its own; an SVCD with a
# segment item; a VCD 1.1), as CUE/BIN, split BINs, bare BIN, cdrdao TOC and
# Nero images, taken apart by mivaro -disc2mpg and checked against the files
# they were made from, against vcdxrip, through vcdxbuild again, and through
# ffmpeg for the chapters; and discs using every element and layout option
# of the description, which must come back byte for byte.
# Usage: discs.sh path/to/mivaro. Exit 1 on any failure, 77 without the tools.
set -u
mivaro=$(realpath "$1") here=$(cd "$(dirname "$0")" && pwd)
for tool in ffmpeg ffprobe vcdxbuild vcdxrip python3; do
    command -v $tool >/dev/null 2>&1 || { echo "skipped: $tool is not installed"; exit 77; }
done
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT && cd "$work" && failed=0
check() {
    if (eval "$2") >log 2>&1; then echo "ok   $1"; else echo "FAIL $1"; tail -n 5 log; failed=1; fi
}
clip() {  # name, video source, seconds, target, audio (or -an)
    a=-an && [ -n "${5:-}" ] && a="-f lavfi -i sine=frequency=$5"
    ffmpeg -nostdin -loglevel error -f lavfi -i "$2" $a -t $3 -target $4 -y "$1"
}
check "ffmpeg makes the clips" 'clip movie1.mpg testsrc=size=352x288:rate=25 3 pal-vcd 440 &&
    clip movie2.mpg smptebars=size=352x288:rate=25 2 pal-vcd 660 && clip motion.mpg testsrc2=size=352x288:rate=25 1 pal-vcd 550 &&
    clip still.mpg rgbtestsrc=size=352x288:rate=25 0.04 pal-vcd && clip ntsc.mpg smptebars=size=352x240:rate=30000/1001 2 ntsc-vcd 330 &&
    clip svcd.mpg testsrc=size=480x576:rate=25 2 pal-svcd 440 && clip svcdseg.mpg testsrc2=size=480x576:rate=25 1 pal-svcd &&
    head -c 7008 /dev/urandom > notes.bin && echo hello > readme.txt'
# The descriptions the discs are made from: vcd2, svcd and vcd11; and
# authored, relaxed and vcd30, which use every element and layout option of
# the description format vcdxbuild reads, each option off its default at
# least once (relaxed: the entry lies on the picture at 0.6 s, whose group
# has lost its sequence header). Written back by -disc2mpg, each
# description must make the same image again.
cp "$here"/discs/*.xml .
python3 "$here/interop.py" without_second_sequence_header movie1.mpg noseq.mpg
for d in authored relaxed vcd30; do
    check "$d: the description -disc2mpg writes makes the same image again" "mkdir $d &&
        vcdxbuild -T '2020-01-02 03:04:05' -c $d/disc.cue -b $d/disc.bin $d.xml >/dev/null 2>&1 &&
        '$mivaro' -disc2mpg $d/disc.cue $d/out >$d/log && (cd $d/out &&
        vcdxbuild -T '2020-01-02 03:04:05' -c again.cue -b again.bin videocd.xml >/dev/null 2>&1) && cmp $d/out/again.bin $d/disc.bin"
done
check "authored: a trigger bit on a sector without a time stamp is named on the last line" "cp authored/disc.bin u.bin &&
    printf '\\160' | dd of=u.bin bs=1 seek=\$((300 * 2352 + 18)) conv=notrunc status=none && '$mivaro' -disc2mpg u.bin u >u.log &&
    tail -n 1 u.log | grep -q 'videocd.xml cannot say all this disc holds: an auto-pause on a sector without a time stamp.'"
check "the playback control names lists by number, rejected ones as such" "! grep -q byte authored/log &&
    grep -q 'List 7: the end, stops playback, reached only from other lists' authored/log &&
    grep -q 'List 3: the end, asks for volume 2, shows item0001.mpg' vcd30/log"

# disc <name> <item=source>...: each output equals its source, and the same
# holds for the disc split one BIN per track, for the bare BIN, and for vcdxrip.
disc() {
    d=$1 && shift
    check "$d: vcdxbuild makes it, vcdxrip takes it apart, and it is split one BIN per track" "mkdir -p $d/rip $d/split &&
        vcdxbuild -T '2020-01-02 03:04:05' -c $d/disc.cue -b $d/disc.bin $d.xml >/dev/null 2>&1 &&
        (cd $d/rip && vcdxrip --cue-file=../disc.cue -o rip.xml >/dev/null 2>&1) &&
        python3 '$here/interop.py' split $d/disc.cue $d/disc.bin $d/split"
    forms="out split-out bare-out toc-out toc36-out"
    check "$d: -disc2mpg on the sheet, the split set, the bare BIN and two cdrdao TOC images" "'$mivaro' -disc2mpg $d/disc.cue $d/out >$d/log &&
        '$mivaro' -disc2mpg $d/split/image.cue $d/split-out >/dev/null && '$mivaro' -disc2mpg $d/disc.bin $d/bare-out >/dev/null &&
        mkdir $d/toc && vcdxbuild -T '2020-01-02 03:04:05' --cdrdao-file=$d/toc/disc -i cdrdao $d.xml >/dev/null 2>&1 &&
        vcdxbuild -T '2020-01-02 03:04:05' --cdrdao-file=$d/toc/d36 --sector-2336 -i cdrdao $d.xml >/dev/null 2>&1 &&
        '$mivaro' -disc2mpg $d/toc/disc.toc $d/toc-out >/dev/null && '$mivaro' -disc2mpg $d/toc/d36.toc $d/toc36-out >/dev/null"
    if [ $d = vcd11 ]; then  # vcdxbuild writes Nero images of discs without segment items
        forms="$forms nrg-out"
        check "$d: -disc2mpg on a Nero image" "vcdxbuild -T '2020-01-02 03:04:05' -i nrg -o nrg=$d/disc.nrg $d.xml >/dev/null 2>&1 &&
            '$mivaro' -disc2mpg $d/disc.nrg $d/nrg-out >/dev/null"
    fi
    for pair in "$@"; do
        item=${pair%%=*} source=${pair#*=}
        check "$d: $item is $source, from every form of the image and from vcdxrip" "for f in $forms rip; do cmp $d/\$f/$item $source || exit 1; done"
    done
    check "$d: nothing more was written" "test \$(ls $d/out | grep -c mpg) -eq $#"
    check "$d: vcdxbuild makes the same disc again from the folder" "(cd $d/out &&
        vcdxbuild -T '2020-01-02 03:04:05' -c again.cue -b again.bin videocd.xml >/dev/null 2>&1) && cmp $d/out/again.bin $d/disc.bin"
}
disc vcd2 avseq01.mpg=movie1.mpg avseq02.mpg=movie2.mpg item0001.mpg=still.mpg item0002.mpg=motion.mpg
disc svcd avseq01.mpg=svcd.mpg item0001.mpg=svcdseg.mpg
disc vcd11 avseq01.mpg=ntsc.mpg avseq02.mpg=movie2.mpg

check "vcd2: the other files of the filesystem are beside the description" "cmp vcd2/out/EXTRA_NOTES.BIN notes.bin &&
    cmp vcd2/out/README.TXT readme.txt"
check "vcd2: the report names the disc and its items" "grep -q 'Disc: VCD 2.0, album \"MIVARO TEST\", volume 1 of 2, label \"MIVARO\"' vcd2/log &&
    grep -q '^avseq01.mpg .* 515,928 *3 *MPEGAV/AVSEQ01.DAT' vcd2/log && grep -q '^item0002.mpg .*motion *stereo' vcd2/log &&
    grep -q 'Disc: SVCD' svcd/log && grep -q 'Disc: VCD 1.1' vcd11/log"
# ffmpeg muxes the chapter file into Matroska; each chapter must fall on the
# key frame of its entry, at the time videocd.xml gives that entry.
check "vcd2: chapters of avseq01 land on its entries' pictures" "test ! -e vcd2/out/avseq02.ffmetadata &&
    ffmpeg -nostdin -loglevel error -i vcd2/out/avseq01.mpg -i vcd2/out/avseq01.ffmetadata -map 0 -map_chapters 1 -c copy -y ch.mkv &&
    python3 '$here/interop.py' chapters_on_key_frames ch.mkv vcd2/out/avseq01.ffmetadata vcd2/out/videocd.xml"
# There is no drive on the test machines: a drive, where there is one with a
# Video CD in it, must verify; elsewhere this says it was skipped.
if [ -b /dev/sr0 ] && "$mivaro" -verify /dev/sr0 >drive.log 2>&1; then
    echo "ok   /dev/sr0: -verify reads the disc in the drive"
else
    echo "skip /dev/sr0: no drive with a readable disc here ($(tail -n 1 drive.log 2>/dev/null || echo no device))"
fi
exit $failed
