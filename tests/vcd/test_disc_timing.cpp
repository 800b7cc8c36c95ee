// What the sectors of a disc say of how it was authored, on a small image
// of hand-made sectors: gaps, margins, entry pictures, auto-pauses and the
// form of TRACKS.SVD.
#include <gtest/gtest.h>

#include "harness.h"
#include "image/image_formats.h"
#include "run/run_state.h"
#include "vcd/disc_timing.h"

namespace {

const Bytes gap = {0, 0, 0x20, 0}, margin = {1, 0, 0x20, 0}, video = {1, 1, 0x62, 0x0F}, info = {0, 0, 0x08, 0};

// A raw Mode 2 sector: sync, header, the subheader twice, the user data.
Bytes sector(const Bytes& subheader, Bytes data = {})
{
    data.resize(2324 + 4);
    return concat({hex("00FFFFFFFFFFFFFFFFFFFF00 000000 02"), subheader, subheader, data});
}

// An MPEG-1 pack of one packet (0xE0 video, 0xC0 audio) with that PTS,
// `payload` its data.
Bytes pack(std::uint8_t stream, std::uint64_t pts, const Bytes& payload = {})
{
    auto byte = [](std::uint64_t b) { return static_cast<std::uint8_t>(b); };
    return concat({{0, 0, 1, 0xba, 0x21, 0, 1, 0, 1, 0x80, 0, 1, 0, 0, 1, stream, 0, byte(5 + payload.size())},
                   {byte(0x21 | (pts >> 29 & 0x0e)), byte(pts >> 22), byte((pts >> 14 & 0xfe) | 1), byte(pts >> 7), byte(pts << 1 | 1)},
                   payload});
}

}  // namespace

// Sector 0 holds TRACKS.SVD in the later form (no video bits for track 1);
// gaps at 1-3, 16-18 and 29-30; sequence A at 4-15 (front margin 2, rear
// margin 1), B at 19-28 (front margin 1, rear margin 1).
TEST(DiscTiming, GapsMarginsPicturesAndPauses)
{
    const Bytes header = hex("000001B3"), decoy = hex("000501B3");
    std::vector<Bytes> s(31, sector(gap));
    Bytes tracks(12);
    tracks[10] = 2;
    s[0] = sector(info, tracks);
    for (std::uint32_t lsn : {4, 5, 15, 19, 28})
        s[lsn] = sector(margin);
    for (std::uint32_t lsn = 6; lsn <= 14; ++lsn)
        s[lsn] = sector(video, pack(0xe0, 9000 + 3600 * (lsn - 6), lsn == 6 ? header : decoy));
    s[7] = sector(video, pack(0xc0, 8000));
    for (std::uint32_t lsn = 20; lsn <= 27; ++lsn)
        s[lsn] = sector(video, pack(lsn == 21 || lsn == 22 || lsn == 27 ? 0xc0 : 0xe0, 90000 + 3600 * (lsn - 20) - 4600 * (lsn == 21), header));
    Scratch dir;
    Bytes bin;
    for (const Bytes& b : s)
        bin.insert(bin.end(), b.begin(), b.end());
    dir.write("disc.bin", bin);
    const std::string cue = "FILE \"disc.bin\" BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\n";
    dir.write("disc.cue", Bytes(cue.begin(), cue.end()));

    reset_run_state();
    DiscImage image = open_disc_image(dir.path("disc.cue").string());
    DiscLayout layout;
    layout.kind = DiscKind::svcd;
    layout.files = {{"SVCD/TRACKS.SVD", 0, 2048, 1, false, false}};
    layout.entries = {{2, 6}, {2, 9}, {3, 20}, {3, 22}, {3, 27}};
    layout.sequences = {{"avseq01.mpg", "MPEG2/AVSEQ01.MPG", 2, 4, 12, {0, 1}},
                        {"avseq02.mpg", "MPEG2/AVSEQ02.MPG", 3, 19, 10, {2, 3, 4}}};
    DiscTiming t = read_disc_timing(image, layout);
    const std::uint32_t triggers[] = {8, 21, 28, 30};
    add_auto_pauses(image, layout, triggers, t);

    EXPECT_EQ(t.entry_ticks, (std::vector<std::optional<std::uint64_t>>{1000, 11800, 1000, 11800, std::nullopt}));
    EXPECT_TRUE(t.relaxed_aps);
    EXPECT_TRUE(t.tracks_v30);
    std::string options;
    for (const LayoutOption& o : t.layout_options)
        options += formatted("%s %u, ", o.name, o.sectors);
    EXPECT_EQ(options, "track pregap 3, leadout pregap 2, track front margin 2, track rear margin 1, ");
    EXPECT_EQ(t.sequence_pauses, (std::vector<std::vector<std::uint64_t>>{{8200}, {0}}));
    EXPECT_EQ(t.uncarried, (std::vector<std::string>{"entry 4, on a sector before its picture", "entry 5, on no picture",
                                                      "tracks with different front margins",
                                                      "an auto-pause on a sector without a time stamp"}));
    reset_run_state();  // the image is no input of later tests
}

// Scan information with a place whose minutes are set while its seconds and
// frames read as FF: no place, and no encoder's "none" either.
TEST(DiscTiming, ScanPlacesThatAreNoPlace)
{
    const Bytes scan_head = hex("000001B2100E");
    ItemScan scan{0, 10, false, {}};
    note_scan_sector(scan, 2, concat({scan_head, hex("FFFFFF 008081 FFFFFF FFFFFF")}));
    ASSERT_EQ(scan.records.size(), 1u);
    EXPECT_EQ(scan.records[0].second, (std::array<std::int64_t, 4>{-1, 1, -1, -1}));
    note_scan_sector(scan, 3, concat({scan_head, hex("FFFFFF 00FFFF FFFFFF FFFFFF")}));
    EXPECT_TRUE(scan.other);
}
