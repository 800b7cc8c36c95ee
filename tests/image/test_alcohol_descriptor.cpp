// Alcohol 120% descriptors: sets written from a disc image at both sector
// sizes, cut short anywhere, and damaged field by field.
#include <gtest/gtest.h>

#include "harness.h"
#include "image/alcohol_descriptor.h"
#include "rip_shapes.h"

namespace {

const std::vector<TrackStart> three_tracks{{1, 0, TrackMode::mode2}, {2, 30, TrackMode::mode2}, {3, 45, TrackMode::audio}};

// Where write_alcohol_rip puts things: the session block, the blocks of
// points 0xA0 to 0xA2 and tracks 1 to 3, their extra blocks, the footer and
// the name "*.mdf". Bytes 56 on of the lead-out's block are free for
// footers and names of the tests' own.
constexpr std::size_t session_at = 88, track_at[] = {352, 432, 512}, extra_at = 592, footer_at = 616, name_at = 632;

Bytes written_descriptor(Scratch& dir, std::uint32_t sector_size)
{
    dir.write("disc.bin", raw_track(mpeg_stream(60)));
    write_alcohol_rip(dir.path("disc.bin"), three_tracks, dir.path("disc"), sector_size);
    return dir.read("disc.mds");
}

void put(Bytes& b, std::size_t at, std::uint64_t value, int n)
{
    for (int i = 0; i < n; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

TEST(AlcoholDescriptor, ReadsTheSetsWrittenFromADiscImage)
{
    for (std::uint32_t size : {2352u, 2448u}) {
        Scratch dir;
        TrackLayout layout = parse_alcohol_descriptor(written_descriptor(dir, size), "some/folder/disc.mds");
        EXPECT_EQ(layout.error, "");
        EXPECT_EQ(layout.data_file, "disc.mdf");
        std::string s = "/" + std::to_string(size);
        EXPECT_EQ(layout_text(layout), "1@0:2 2@30:2 3@45:a | 0+30@0" + s + " 30+15@" + std::to_string(30 * size) + s +
                                           " 45+15@" + std::to_string(45 * size) + s);
        // Sector 46 where the run says, with the pattern after it at 2448.
        Bytes mdf = dir.read("disc.mdf");
        ASSERT_EQ(mdf.size(), 60u * size);
        Bytes sector = concat({slice(dir.read("disc.bin"), 46 * 2352, 2352), size == 2448 ? subchannel_pattern(46) : Bytes{}});
        EXPECT_TRUE(same_bytes(slice(mdf, 46 * size, size), sector));
    }
}

TEST(AlcoholDescriptor, CutShortAnywhereItIsRefused)
{
    Scratch dir;
    Bytes mds = written_descriptor(dir, 2448);
    for (std::size_t cut = 0; cut < mds.size(); cut += 3) {
        TrackLayout layout = parse_alcohol_descriptor(slice(mds, 0, cut), "disc.mds");
        EXPECT_NE(layout.error, "") << cut;
        EXPECT_TRUE(consistent_layout(layout)) << cut;
    }
    EXPECT_EQ(parse_alcohol_descriptor(slice(mds, 0, 16), "disc.mds").error, "its header lies past its end");
}

TEST(AlcoholDescriptor, EachDamagedFieldIsNamed)
{
    struct Patch {
        std::size_t at;
        std::uint64_t value;
        int bytes;
    };
    struct Case {
        std::vector<Patch> patches;
        const char* want;  // the error, or the layout
    };
    const Case cases[] = {
        {{{0, 'm', 1}}, "it does not start with MEDIA DESCRIPTOR"},
        {{{18, 0x10, 2}}, "it describes a DVD, not a CD"},
        {{{18, 0x0100, 2}}, "it describes a DVD, not a CD"},
        {{{18, 3, 2}}, "it describes a medium of type 3, not a CD"},
        {{{20, 0, 2}}, "it describes no session"},
        {{{80, 0xFFFFFFF0, 4}}, "its list of sessions lies past its end"},
        {{{session_at + 10, 200, 1}}, "its list of tracks of session 1 lies past its end"},
        {{{session_at + 20, 600, 4}}, "its list of tracks of session 1 lies past its end"},
        {{{session_at + 10, 3, 1}}, "it describes no track"},
        {{{track_at[1] + 4, 1, 1}}, "it describes track 1 twice"},
        {{{track_at[1] + 4, 4, 1}}, "it describes track 3 but no track 2"},
        {{{track_at[0], 0x02, 1}}, "track 1 has the mode 0x02, which no CD track has"},
        {{{track_at[0] + 16, 2336, 2}}, "track 1 has 2336-byte sectors; 2352 or 2448 were expected"},
        {{{track_at[2] + 48, 2, 4}}, "track 3 lies in 2 data files"},
        {{{track_at[1] + 12, 640, 4}}, "its extra block of track 2 lies past its end"},
        {{{track_at[1] + 52, 630, 4}}, "its footer of track 2 lies past its end"},
        {{{footer_at, name_at + 6, 4}}, "its data file's name lies past its end"},
        {{{footer_at + 4, 1, 4}}, "the name of its data file is not plain ASCII"},
        {{{track_at[0] + 52, 0, 4}, {track_at[1] + 52, 0, 4}, {track_at[2] + 52, 0, 4}}, "it names no data file"},
        {{{name_at, '.', 1}, {name_at + 1, 0, 1}}, "it names no data file"},
        {{{track_at[0] + 52, 328, 4}, {328, name_at + 2, 4}}, "its tracks lie in different data files"},
        {{{track_at[1] + 36, 10, 4}}, "track 2 starts before track 1 ends"},
        {{{track_at[2] + 36, 30, 4}}, "track 3 starts before track 2 ends"},
        {{{extra_at + 12, 450000, 4}}, "track 2 lies at sectors 30 to 450030, where no CD has any"},
        {{{track_at[2] + 40, 1ull << 63, 8}},
         "track 3 lies at byte 9223372036854775808 of the data file, past the end of any CD"},
        // Without extra blocks a track reaches the next one, the last one the end of the data file.
        {{{track_at[1] + 12, 0, 4}, {track_at[2] + 12, 0, 4}},
         "1@0:2 2@30:2 3@45:a | 0+30@0/2352 30+15@70560/2352 45+0@105840/2352"},
        // A name with a folder in Windows' way; a wide name.
        {{{name_at, 'a', 1}, {name_at + 1, '\\', 1}, {name_at + 2, 'b', 1}}, "bdf"},
        {{{footer_at, 332, 4}, {footer_at + 4, 1, 4}, {332, 'b', 2}}, "b"},
    };
    Scratch dir;
    const Bytes good = written_descriptor(dir, 2352);
    for (const Case& c : cases) {
        Bytes mds = good;
        for (const Patch& p : c.patches)
            put(mds, p.at, p.value, p.bytes);
        TrackLayout layout = parse_alcohol_descriptor(mds, "disc.mds");
        EXPECT_TRUE(consistent_layout(layout)) << c.want;
        std::string got = layout.error.empty() ? layout_text(layout) : layout.error;
        if (layout.error.empty() && layout.data_file != "disc.mdf")
            got = layout.data_file;
        EXPECT_EQ(got, c.want);
    }
}
