#!/bin/sh
# Builds the small Video CD 2.0 image in tests/data/sample/ (or in folder):
# clip1.mpg (2 s PAL), clip2.mpg (2 s NTSC) and, from vcdimager, sample.cue
# and sample.bin: a data track, then each clip as an MPEG track with a pregap.
# Usage: make_sample.sh [folder]. The tool versions below give
# the committed bytes exactly (bit-exact single-threaded encoding, no metadata,
# a pinned creation time read in a zone whose summer time also has offset 0,
# as vcdimager 2.0.1 hands mktime an unset daylight-saving flag); other
# versions give other bytes, and then all four files are committed together.
set -eu
want="5.1.9-0+deb12u1 2.0.1"
have="$(ffmpeg -version | sed -n '1s/^ffmpeg version \([^ ]*\).*/\1/p') $(vcdimager --version | sed -n '1s/.* \([0-9][0-9.]*\)$/\1/p')"
[ "$have" = "$want" ] || echo "note: tools are $have, not $want: the bytes will differ from the committed ones" >&2
out=${1:-$(cd "$(dirname "$0")" && pwd)/sample}
mkdir -p "$out" && cd "$out"
clip() {
    ffmpeg -nostdin -hide_banner -loglevel error -threads 1 -f lavfi -i "$2" \
        -f lavfi -i "sine=frequency=$3:sample_rate=44100" -t 2 -target "$4" -threads 1 -map_metadata -1 \
        -fflags +bitexact -flags:v +bitexact -flags:a +bitexact -y "$1"
}
clip clip1.mpg testsrc=size=352x288:rate=25 440 pal-vcd
clip clip2.mpg smptebars=size=352x240:rate=30000/1001 660 ntsc-vcd
rm -f sample.cue sample.bin
TZ=UTC0DST0 vcdimager --quiet --type=vcd2 --create-time="2000-01-01 00:00:00" \
    --cue-file=sample.cue --bin-file=sample.bin clip1.mpg clip2.mpg >/dev/null
