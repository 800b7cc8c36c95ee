// End-to-end runs on a real Video CD 2.0 image made by vcdimager from two
// ffmpeg clips (tests/data/make_sample.sh builds it; the files are committed).
//
// Layout of sample.bin, in 2352-byte sectors (vcdimager gives every MPEG
// track a two-second INDEX 00 pregap and 30 empty front-margin sectors):
//      0 ..  299  data track (ISO 9660, VCD control files)
//    300 ..  449  pregap of the first movie track
//    450 ..  672  first movie track: margin, clip1.mpg at 480 .. 627, margin
//    673 ..  822  pregap of the second movie track
//    823 .. 1195  second movie track: margin, clip2.mpg at 853 .. 1000, margin
// Every sector is Mode 2 Form 2; the margins and pregaps carry zero user data.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "fixtures.h"
#include "harness.h"
#include "stream_fixtures.h"

namespace fs = std::filesystem;

namespace {

const fs::path sample_dir = fs::path(MIVARO_TEST_DATA) / "sample";

Bytes load(const char* name)
{
    std::ifstream f(sample_dir / name, std::ios::binary);
    if (!f)
        throw std::runtime_error(std::string("missing test data ") + name);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void stage(const Scratch& s)
{
    for (const char* name : {"sample.cue", "sample.bin"})
        fs::copy_file(sample_dir / name, s.path(name));
}

const std::string eta = "[hh:mm:ss] \r";

// The sheet as vcdimager wrote it: five entries, pregaps included.
const std::string full_table =
    " Track #     mm:ss.ff     Sector Size          LBA Start        LBA End    \n"
    "    0        00:00.00     2352 bytes/sector            0         703248\n"
    "    1        00:04.00     2352 bytes/sector       705600        1056048\n"
    "    2        00:06.00     2352 bytes/sector      1058400        1580544\n"
    "    3        00:08.73     2352 bytes/sector      1582896        1933344\n"
    "    4        00:10.73     2352 bytes/sector      1935696        2812992\n"
    "\n";

// A pack found 24 bytes into sector s, copied to a limit at sector e, gives
// e - s blocks, the last one read on its own; the rear margin follows each clip as zero user data.
Bytes clip_in_track(const Bytes& clip, std::size_t first, std::size_t limit)
{
    return concat({clip, zeros((limit - first) * block_size - clip.size())});
}

TEST(SampleImage, Cue2mpgWritesEveryEntryPregapsEmpty)
{
    const Bytes clip1 = load("clip1.mpg");
    const Bytes clip2 = load("clip2.mpg");
    // With -fix the first margin block after each clip counts as broken; no
    // pack follows it, so the copy of that track ends there.
    struct Case {
        const char* option;
        std::string summary, after_copy, corrections;
        Bytes movie1, movie2;
    } cases[] = {
        {nullptr, "\n", "", "", clip_in_track(clip1, 480, 672), clip_in_track(clip2, 853, 1196)},
        {"-fix", "- Fix broken MPEG blocks enabled.\n\n", "\xfe 100%\r", "\xfe 2 MPEG block correction(s) applied.\n\n",
         clip1, clip2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option ? c.option : "plain");
        Scratch s;
        stage(s);
        std::vector<std::string> args = {"-cue2mpg", "sample", "out"};
        if (c.option)
            args.insert(args.begin() + 1, c.option);
        RunResult r = s.run(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(mask_clock(r.out),
                  cue::header("cue2mpg", "sample.cue", "out.mpg") + c.summary + full_table + cue::searching(1) +
                      "\xfe 0%\r\xfe 100%\r" + cue::searching(2) + "\xfe 100%\r" + cue::writing(2) + "\xfe 100% " +
                      eta + c.after_copy + cue::searching(3) + "\xfe 100%\r" + cue::searching(4) + "\xfe 50%\r" +
                      cue::writing(4) + "\xfe 50% " + eta + "\xfe 100% " + eta + c.after_copy + cue::completed +
                      c.corrections);
        EXPECT_EQ(s.files(), (std::vector<std::string>{"out01.mpg", "out02.mpg", "out03.mpg", "out04.mpg",
                                                       "sample.bin", "sample.cue"}));
        EXPECT_EQ(s.size("out01.mpg"), 0u);
        EXPECT_EQ(s.size("out03.mpg"), 0u);
        EXPECT_TRUE(same_bytes(s.read("out02.mpg"), c.movie1));
        EXPECT_TRUE(same_bytes(s.read("out04.mpg"), c.movie2));
    }
}

TEST(SampleImage, SheetInAnotherFolderFindsItsBin)
{
    // vcdimager names the BIN without a folder; it lies beside the sheet.
    Scratch s;
    const std::string sheet = (sample_dir / "sample.cue").string();
    RunResult r = s.run({"-cue2mpg", "-track4", sheet, "m.mpg"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(mask_clock(r.out), cue::header("cue2mpg", sheet, "m.mpg") + "- Selected track #4\n\n" + full_table +
                                     cue::searching(4) + "\xfe 50%\r" + cue::writing(4) + "\xfe 50% " + eta +
                                     "\xfe 100% " + eta + cue::completed);
    EXPECT_EQ(s.files(), std::vector<std::string>{"m.mpg"});
    EXPECT_TRUE(same_bytes(s.read("m.mpg"), clip_in_track(load("clip2.mpg"), 853, 1196)));
}

TEST(SampleImage, Cue2rawThenRaw2mpgGivesTheSameStream)
{
    Scratch s;
    stage(s);
    RunResult cut = s.run({"-cue2raw", "-track2", "sample", "t2"});
    EXPECT_EQ(cut.status, 0);
    EXPECT_EQ(mask_clock(cut.out), cue::header("cue2raw", "sample.cue", "t2.raw") + "- Selected track #2\n\n" +
                                       full_table + cue::writing(2) + "\xfe 100% " + eta + "\n" + cue::completed);
    // Entry 2 runs to one sector short of the next INDEX.
    EXPECT_TRUE(same_bytes(s.read("t2.raw"), slice(load("sample.bin"), 450 * sector_bytes, 222 * sector_bytes)));

    RunResult back = s.run({"-raw2mpg", "t2", "t2"});
    EXPECT_EQ(back.status, 0);
    EXPECT_TRUE(same_bytes(s.read("t2.mpg"), clip_in_track(load("clip1.mpg"), 480, 672)));
}

}  // namespace
