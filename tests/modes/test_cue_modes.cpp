// The CUE conversions end to end: what only the real binary shows (BINs
// found from another folder, one BIN per track, exit statuses, files left).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "harness.h"
#include "stream_fixtures.h"

namespace {

const Bytes movie = mpeg_stream(6);
const Bytes track2 = concat({cue::data_sectors(2), raw_track(movie), cue::data_sectors(2)});
const std::string dump_sheet = "\xEF\xBB\xBFREM FILE gone.bin\r\nFILE \"C:\\rips\\MOVIE (TRACK 1).BIN\" BINARY\r\n"
                               "  TRACK 01 MODE2/2352\r\n    INDEX 01 00:00:00\r\nFILE \"Movie (Track 2).bin\" BINARY\r\n"
                               "  TRACK 02 MODE2/2352\r\n    INDEX 00 00:00:00\r\n    INDEX 01 00:00:02\r\n";

bool starts_with_then_zeros(const Bytes& got, const Bytes& want)
{
    return got.size() >= want.size() && slice(got, 0, want.size()) == want &&
           std::all_of(got.begin() + static_cast<std::ptrdiff_t>(want.size()), got.end(), [](auto b) { return !b; });
}

TEST(CueModes, OneBinPerTrackFromAnotherFolder)
{
    Scratch s;
    std::filesystem::create_directory(s.path("disc"));
    s.write("disc/Movie (Track 1).bin", cue::data_sectors(3));
    s.write("disc/movie (track 2).bin", track2);
    s.write_text("disc/x.cue", dump_sheet);
    RunResult r = s.run({"-cue2mpg", "disc/x.cue", "out.mpg"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("LBA End    BIN\n    0        00:00.00     2352 bytes/sector            0           7056     1\n"
                         "    1        00:00.00     2352 bytes/sector            0           2352     2\n"
                         "    2        00:00.02     2352 bytes/sector         4704          23520     2\n"
                         "  BIN 1: disc/Movie (Track 1).bin\n  BIN 2: disc/movie (track 2).bin\n\n"),
              std::string::npos) << r.out;
    EXPECT_EQ(s.read("out01.mpg"), Bytes{});
    EXPECT_TRUE(starts_with_then_zeros(s.read("out02.mpg"), movie));
    EXPECT_EQ(s.run({"-cue2raw", "-track2", "disc/x.cue", "out.raw"}).status, 0);
    EXPECT_TRUE(same_bytes(s.read("out.raw"), slice(track2, 2 * 2352, track2.size())));
    // A write size applies to each sector, not to a chunk of several.
    EXPECT_EQ(s.run({"-cue2dat", "-w2352", "-track2", "disc/x.cue", "out.dat"}).status, 0);
    EXPECT_TRUE(same_bytes(s.read("out.dat"), dat_file(slice(track2, 2 * 2352, track2.size()))));
}

TEST(CueModes, RefusalsLeaveNoOutput)
{
    Scratch s;
    s.write("a.bin", cue::data_sectors(20));
    s.write_text("later.cue", cue::sheet("a.bin", {0, 4}) + "FILE gone.bin BINARY\nTRACK 03 MODE2/2352\nINDEX 01 00:00:00\n");
    s.write_text("2336.cue", cue::sheet("a.bin", {0, 4}, "MODE2/2336"));
    s.write_text("big.cue", std::string((1 << 20) + 1, ' '));
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-cue2raw", "later.cue", "o.raw"}, "gone.bin could not be opened or accessed.\n"
                                             "The filename specified inside the CUE file could be wrong\n\n"},
        {{"-cue2dat", "2336.cue", "o.dat"}, "Track 1 has 2336-byte sectors: a DAT file holds sectors of 2352 bytes.\n"},
        {{"-cue2dat", "-r2332", "-track0", "2336.cue", "o.dat"}, "Track 0 has 2332-byte sectors: a DAT file holds sectors of 2352 bytes.\n"},
        {{"-raw2dat", "-r2336", "a.bin", "o.dat"}, "-r2336: a DAT file holds sectors of 2352 bytes.\n"},
        {{"-cue2mpg", "big.cue", "o.mpg"}, "big.cue is larger than 1 MiB: too large for a CUE sheet.\n\n"},
    };
    for (const auto& [args, ending] : cases) {
        RunResult r = s.run(args);
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_TRUE(r.out.ends_with(ending)) << r.out;
    }
    EXPECT_EQ(s.files(), (std::vector<std::string>{"2336.cue", "a.bin", "big.cue", "later.cue"}));
    // Entries searched and no pack header found: a failure, empty files left.
    s.write_text("zero.cue", cue::sheet("a.bin", {0, 4, 8}));
    RunResult r = s.run({"-cue2mpg", "zero.cue", "o.mpg"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.ends_with("\r\n\nCould not find MPEG stream in BIN file.\n")) << r.out;
    EXPECT_EQ(s.read("o01.mpg").size() + s.read("o02.mpg").size(), 0u);
}

TEST(CueModes, BumperPrescanRunsUntilABumperIsRemoved)
{
    Scratch s;
    const Bytes end_code = {0x00, 0x00, 0x01, 0xB9}, bumped = concat({concat({padded_block(50), padded_block(51)}), end_code, movie});
    s.write("a.bin", concat({cue::data_sectors(2), raw_track(movie), raw_track(bumped), raw_track(bumped)}));
    s.write_text("a.cue", cue::sheet("a.bin", {0, 2, 8, 17}));
    RunResult r = s.run({"-cue2mpg", "-nobumper", "a.cue", "o.mpg"});
    std::size_t first = r.out.find("pre-scanning"), second = r.out.find("pre-scanning", first + 1);
    EXPECT_NE(second, std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("pre-scanning", second + 1), std::string::npos) << r.out;
}

}  // namespace

// The committed vcdimager image (tests/data/make_sample.sh): its clips come
// back from the movie entries, the pregap entries stay empty, and stdout is
// the golden one.
TEST(CueModes, SampleImage)
{
    Scratch s;
    const std::filesystem::path data = MIVARO_TEST_DATA;
    std::filesystem::copy(data / "sample", s.path("s"));
    RunResult r = s.run({"-cue2mpg", "s/sample.cue", "out.mpg"});
    EXPECT_EQ(r.status, 0);
    std::ifstream golden(data / "sample_cue2mpg.out", std::ios::binary);
    EXPECT_EQ(mask_clock(r.out), std::string(std::istreambuf_iterator<char>(golden), {}));
    EXPECT_TRUE(starts_with_then_zeros(s.read("out02.mpg"), s.read("s/clip1.mpg")));
    EXPECT_TRUE(starts_with_then_zeros(s.read("out04.mpg"), s.read("s/clip2.mpg")));
    EXPECT_EQ(s.read("out01.mpg").size() + s.read("out03.mpg").size(), 0u);
}
