// The bare images the tests make from a disc image: every sector kept as
// its size says, the .iso only track 1's.
#include <gtest/gtest.h>

#include "harness.h"
#include "rip_shapes.h"

TEST(BareImages, EachSectorKeptAsItsSizeSays)
{
    Scratch dir;
    const Bytes bin = raw_track(mpeg_stream(60));
    dir.write("disc.bin", bin);
    struct Case {
        std::uint32_t size;
        std::size_t sectors, from;  // the sectors written, where each starts in the raw one
    };
    for (const Case& c : {Case{2448, 60, 0}, Case{2336, 60, 16}, Case{2048, 30, 24}}) {
        write_bare_rip(dir.path("disc.bin"), {{1, 0, TrackMode::mode2}, {2, 30, TrackMode::mode2}}, dir.path("bare"), c.size);
        Bytes bare = dir.read("bare");
        ASSERT_EQ(bare.size(), c.sectors * c.size);
        std::size_t kept = std::min<std::size_t>(c.size, 2352 - c.from);
        EXPECT_TRUE(same_bytes(slice(bare, 7 * c.size, c.size), concat({slice(bin, 7 * 2352 + c.from, kept),
                                                                         c.size == 2448 ? subchannel_pattern(7) : Bytes{}})));
    }
}
