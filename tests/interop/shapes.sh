#!/bin/sh
# One Video CD 2.0 (a menu, three segment items, an entry point) made by
# vcdxbuild and kept in every shape rips come in: a MODE2/2336 sheet with
# one BIN and one BIN per track, CloneCD, Alcohol at 2352 and 2448 bytes a
# sector, bare images of 2448 and 2336 bytes a sector, and the data track
# alone as a 2048-byte .iso, and a CHD where chdman is installed. Each must
# give what the 2352-byte CUE/BIN gives, verify clean, and (but the CHD) show
# a flipped byte in a movie sector at its disc time.
# Usage: shapes.sh path/to/mivaro path/to/make_rip_shapes. Exit 1 on any
# failure, 77 without the tools.
set -u
mivaro=$(realpath "$1") shapes=$(realpath "$2") here=$(cd "$(dirname "$0")" && pwd)
for tool in ffmpeg vcdxbuild python3 ddrescuelog bchunk; do
    command -v $tool >/dev/null 2>&1 || { echo "skipped: $tool is not installed"; exit 77; }
done
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT && cd "$work" && failed=0
check() {
    if (eval "$2") >log 2>&1; then echo "ok   $1"; else echo "FAIL $1"; tail -n 5 log; failed=1; fi
}
clip() {  # name, video source, seconds, audio (or none)
    a=-an && [ -n "${4:-}" ] && a="-f lavfi -i sine=frequency=$4"
    ffmpeg -nostdin -loglevel error -f lavfi -i "$2" $a -t $3 -target pal-vcd -y "$1"
}
build() { vcdxbuild -T '2020-01-02 03:04:05' "$@" vcd.xml >/dev/null 2>&1; }
check "ffmpeg makes the clips, vcdxbuild the disc at 2352 and 2336 bytes a sector" 'clip movie.mpg testsrc=size=352x288:rate=25 3 440 &&
    clip still.mpg rgbtestsrc=size=352x288:rate=25 0.04 && clip motion.mpg testsrc2=size=352x288:rate=25 1 550 &&
    clip menu.mpg smptebars=size=352x288:rate=25 1 &&
    cp "$here/discs/shapes.xml" vcd.xml &&
    build -c disc.cue -b disc.bin && build --sector-2336 -c d36.cue -b d36.bin && mkdir split36 &&
    python3 "$here/interop.py" split d36.cue d36.bin split36 2336 && "$shapes" disc.cue rips'

check "-disc2mpg takes the 2352-byte CUE/BIN apart" '"$mivaro" -disc2mpg disc.cue ref >/dev/null &&
    cmp ref/avseq01.mpg movie.mpg && cmp ref/item0001.mpg menu.mpg && cmp ref/item0003.mpg motion.mpg'
# chdman's CHD of the disc joins them where mame-tools is installed.
chd= && command -v chdman >/dev/null 2>&1 && check "chdman makes a CHD of the disc" 'chdman createcd -i disc.cue -o disc.chd' &&
    chd=disc.chd
for shape in d36.cue split36/image.cue rips/disc.ccd rips/disc.mds rips/d48.mds rips/bare48.bin rips/bare36.bin $chd; do
    out=out-$(echo $shape | tr / _)
    check "$shape: -disc2mpg writes the same files, -verify finds every sector whole" "'$mivaro' -disc2mpg $shape $out >/dev/null &&
        diff -r ref $out && '$mivaro' -verify $shape > verify.log && grep -q 'verified: all [0-9]* sectors whole' verify.log"
done

# -disc2bin: three damaged reads in other shapes, each flipped in its own
# sectors (the data track, a segment item, the movie), one cut short and one
# with a zeroed stretch, merge back into the 2352-byte image.
mv=$(python3 "$here/interop.py" track_start disc.cue 2)
damage() {  # folder, sector size, byte of the sector, sectors...
    d=$1 size=$2 at=$3; shift 3
    for l in "$@"; do python3 "$here/interop.py" flip "$d" $((l * size + at)) || return 1; done
}
check "-disc2bin merges damaged reads of mixed shapes into the image they were made from" "mkdir dmg &&
    cp rips/disc.ccd rips/disc.img d36.cue d36.bin rips/d48.mds rips/d48.mdf dmg/ &&
    damage dmg/disc.img 2352 100 5 250 $((mv + 10)) && damage dmg/d36.bin 2336 84 6 251 $((mv + 11)) &&
    damage dmg/d48.mdf 2448 100 7 252 $((mv + 12)) && head -c $((mv * 2352)) disc.bin > cut.bin && cp disc.bin zero.bin &&
    dd if=/dev/zero of=zero.bin bs=2352 seek=$((mv + 30)) count=20 conv=notrunc status=none &&
    '$mivaro' -disc2bin dmg/disc.ccd dmg/d36.cue zero.bin dmg/d48.mds cut.bin merged > merge.log && cmp merged.bin disc.bin &&
    test -z \"\$(ddrescuelog -l-? -b 2352 merged.map)\" && '$mivaro' -verify merged.cue | grep -q 'verified: all' &&
    bchunk merged.bin merged.cue bchunk >/dev/null && test -s bchunk01.iso"
check "-disc2bin of one damaged read: exactly its damaged sectors in the map, status 1" "! '$mivaro' -disc2bin dmg/d36.cue alone > alone.log &&
    test \"\$(ddrescuelog -l- -b 2352 alone.map | tr '\\n' ' ')\" = '6 251 $((mv + 11)) ' && grep -q 'avseq01.mpg' alone.log"
check "-disc2bin resumes: a later read fills what the first lacked and spoils nothing it had" "! '$mivaro' -disc2bin dmg/disc.ccd res >/dev/null &&
    '$mivaro' -disc2bin dmg/d36.cue res > res.log && cmp res.bin disc.bin && grep -q 'merged: all' res.log"
[ -n "$chd" ] && check "-disc2bin of the CHD gives the BIN and sheet chdman extractcd gives" "'$mivaro' -disc2bin disc.chd fromchd >/dev/null &&
    chdman extractcd -i disc.chd -o extracted.cue -ob extracted.bin >/dev/null 2>&1 && cmp fromchd.bin extracted.bin &&
    cmp fromchd.bin disc.bin && sed 1d fromchd.cue > ours.txt && sed 1d extracted.cue > theirs.txt && diff ours.txt theirs.txt"
check "-disc2bin refuses other discs and a 2048-byte image, writing nothing" "! '$mivaro' -disc2bin disc.cue '$here/../data/sample/sample.cue' x > r.log &&
    grep -q 'not the same disc' r.log && ! '$mivaro' -disc2bin rips/data.iso x > r.log && grep -q 'user data of its sectors alone' r.log &&
    ! ls x.cue x.bin x.map 2>/dev/null"

# A byte of the movie's user data flipped: 40 sectors into its track.
lsn=$(python3 "$here/interop.py" track_start disc.cue 2)
lsn=$((lsn + 40))
time=$(printf '%02d:%02d:%02d' $(((lsn + 150) / 4500)) $(((lsn + 150) / 75 % 60)) $(((lsn + 150) % 75)))
flipped() {  # file, byte offset: -verify must fail and name the sector
    python3 "$here/interop.py" flip "$1" "$2" && ! "$mivaro" -verify "$3" > verify.log && grep -q "$time, 1 sector: EDC" verify.log
}
check "a flipped byte is found at $time in every shape" "flipped disc.bin $((lsn * 2352 + 100)) disc.cue &&
    flipped d36.bin $((lsn * 2336 + 84)) d36.cue && flipped rips/disc.img $((lsn * 2352 + 100)) rips/disc.ccd &&
    flipped rips/disc.mdf $((lsn * 2352 + 100)) rips/disc.mds && flipped rips/d48.mdf $((lsn * 2448 + 100)) rips/d48.mds &&
    flipped rips/bare48.bin $((lsn * 2448 + 100)) rips/bare48.bin && flipped rips/bare36.bin $((lsn * 2336 + 84)) rips/bare36.bin"
check "the data track alone: -disc2mpg refuses it and writes nothing, -verify reads it unchecked" "! '$mivaro' -disc2mpg rips/data.iso iso-out > log2 &&
    grep -q '2048-byte image of the data track alone' log2 && test ! -e iso-out && '$mivaro' -verify rips/data.iso > verify.log &&
    grep -q 'not checked' verify.log && ! grep -q 'sectors whole\.' verify.log"
exit $failed
