#!/bin/sh
# Builds the small Video CD 2.0 image that the tests read, in tests/data/sample/:
#   clip1.mpg   2 s PAL clip  (352x288, 25 fps), ffmpeg's pal-vcd target
#   clip2.mpg   2 s NTSC clip (352x240, 29.97 fps), ffmpeg's ntsc-vcd target
#   sample.cue  the sheet vcdimager writes; it names its BIN as "sample.bin"
#   sample.bin  data track, then one MPEG track per clip, each with a pregap
#
# Usage:
#   make_sample.sh [folder]   write the four files into folder (default: the
#                             sample folder beside this script)
#   make_sample.sh --check-tools
#                             exit 0 when the installed ffmpeg and vcdimager
#                             are the versions the committed files came from,
#                             else print what differs and exit 1
#
# Reproducibility: with the tool versions below, a re-run gives the committed
# bytes exactly. The clips are made single-threaded with bit-exact codec and
# muxer flags and no metadata; vcdimager stamps a creation time into the
# ISO 9660 descriptors and directory records, so it is pinned with -T. Read
# as plain UTC, that time sometimes comes out an hour early (2.0.1 seems to
# hand mktime an uninitialised daylight-saving flag); a zone whose summer
# time also has offset 0 gives the same instant either way. Another ffmpeg release may encode different bytes, and another
# vcdimager release may lay the image out differently: the tests only rely on
# the clips and the image agreeing with each other, so re-running this script
# and committing all four files together keeps them valid.
#
# Made with: ffmpeg 5.1.9-0+deb12u1 (Debian 12), vcdimager 2.0.1.
set -eu

made_with_ffmpeg=5.1.9-0+deb12u1
made_with_vcdimager=2.0.1

for tool in ffmpeg vcdimager; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "make_sample.sh: $tool is not installed" >&2
        exit 1
    fi
done

ffmpeg_version=$(ffmpeg -version | sed -n '1s/^ffmpeg version \([^ ]*\).*/\1/p')
vcdimager_version=$(vcdimager --version | sed -n '1s/.* \([0-9][0-9.]*\)$/\1/p')

if [ "${1:-}" = "--check-tools" ]; then
    status=0
    if [ "$ffmpeg_version" != "$made_with_ffmpeg" ]; then
        echo "ffmpeg is $ffmpeg_version, the sample was made with $made_with_ffmpeg"
        status=1
    fi
    if [ "$vcdimager_version" != "$made_with_vcdimager" ]; then
        echo "vcdimager is $vcdimager_version, the sample was made with $made_with_vcdimager"
        status=1
    fi
    exit $status
fi

here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/sample}
mkdir -p "$out"
cd "$out"

if [ "$ffmpeg_version" != "$made_with_ffmpeg" ] || [ "$vcdimager_version" != "$made_with_vcdimager" ]; then
    echo "note: ffmpeg $ffmpeg_version / vcdimager $vcdimager_version differ from" \
         "$made_with_ffmpeg / $made_with_vcdimager; the bytes will differ from the committed ones" >&2
fi

# clip <name> <video source> <tone Hz> <target>
clip() {
    ffmpeg -nostdin -hide_banner -loglevel error -threads 1 \
        -f lavfi -i "$2" -f lavfi -i "sine=frequency=$3:sample_rate=44100" \
        -t 2 -target "$4" -threads 1 -map_metadata -1 \
        -fflags +bitexact -flags:v +bitexact -flags:a +bitexact \
        -y "$1"
}

clip clip1.mpg testsrc=size=352x288:rate=25 440 pal-vcd
clip clip2.mpg smptebars=size=352x240:rate=30000/1001 660 ntsc-vcd

rm -f sample.cue sample.bin
TZ=UTC0DST0 vcdimager --quiet --type=vcd2 --create-time="2000-01-01 00:00:00" \
    --cue-file=sample.cue --bin-file=sample.bin clip1.mpg clip2.mpg >/dev/null
