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

Bytes load(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    if (!f)
        throw std::runtime_error("missing test data " + p.string());
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// The wall clock can tick between the start of a copy and its first chunk,
// so an estimate taken then may read 00:00:01 instead of 00:00:00.
std::string without_clock(const std::string& out)
{
    return mask_clock(out);
}

std::string track_line(int t, const char* what)
{
    return "\xfe                 Track " + std::to_string(t) + " -> " + what + "\r";
}

const std::string searching = "\xfe                 -> searching \r";
const std::string writing = "\xfe                 -> writing...\r";
const std::string eta = "[hh:mm:ss] \r";

const std::string table_header =
    " Track #     mm:ss.ff     Sector Size          LBA Start        LBA End    \n";

// The sheet as vcdimager wrote it: five entries, pregaps included.
const std::string full_table = table_header +
    "    0        00:00.00     2352 bytes/sector            0         703248\n"
    "    1        00:04.00     2352 bytes/sector       705600        1056048\n"
    "    2        00:06.00     2352 bytes/sector      1058400        1580544\n"
    "    3        00:08.73     2352 bytes/sector      1582896        1933344\n"
    "    4        00:10.73     2352 bytes/sector      1935696        2812992\n"
    "\n";

constexpr std::size_t movie1_start = 450 * sector_bytes;
constexpr std::size_t movie1_end = 672 * sector_bytes;  // one sector short of the next INDEX

// A pack found 24 bytes into sector s, copied to a limit at sector e, gives
// e - s - 1 blocks: the last sector cannot be read whole from 24 bytes in.
constexpr std::size_t movie1_mpeg = (672 - 480 - 1) * block_size;   // 443884
constexpr std::size_t movie2_mpeg = (1196 - 853 - 1) * block_size;  // 794808

class SampleImage : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        clip1 = new Bytes(load(sample_dir / "clip1.mpg"));
        clip2 = new Bytes(load(sample_dir / "clip2.mpg"));
        bin = new Bytes(load(sample_dir / "sample.bin"));
        sheet = new Bytes(load(sample_dir / "sample.cue"));
    }
    static void TearDownTestSuite()
    {
        delete clip1;
        delete clip2;
        delete bin;
        delete sheet;
    }

    void stage(const Scratch& s) const
    {
        s.write("sample.cue", *sheet);
        s.write("sample.bin", *bin);
    }

    static Bytes padded(const Bytes& clip, std::size_t total)
    {
        return concat({clip, zeros(total - clip.size())});
    }

    static Bytes* clip1;
    static Bytes* clip2;
    static Bytes* bin;
    static Bytes* sheet;
};

Bytes* SampleImage::clip1 = nullptr;
Bytes* SampleImage::clip2 = nullptr;
Bytes* SampleImage::bin = nullptr;
Bytes* SampleImage::sheet = nullptr;

TEST_F(SampleImage, TheCommittedFilesAgree)
{
    // Guards against committing a regenerated clip without its image: the
    // clips must stand in the image where the layout above says.
    ASSERT_EQ(bin->size(), 1196 * sector_bytes);
    ASSERT_EQ(clip1->size() % block_size, 0u);
    ASSERT_EQ(clip2->size() % block_size, 0u);
    ASSERT_EQ(clip1->size() / block_size, 148u);
    ASSERT_EQ(clip2->size() / block_size, 148u);
    for (std::size_t k = 0; k < 148; ++k) {
        ASSERT_TRUE(same_bytes(slice(*bin, (480 + k) * sector_bytes + 24, block_size),
                               slice(*clip1, k * block_size, block_size)))
            << "clip1 block " << k;
        ASSERT_TRUE(same_bytes(slice(*bin, (853 + k) * sector_bytes + 24, block_size),
                               slice(*clip2, k * block_size, block_size)))
            << "clip2 block " << k;
    }
    // Short clips have no all-zero block, so -fix must give them back whole.
    for (const Bytes* clip : {clip1, clip2})
        for (std::size_t at = 0; at < clip->size(); at += block_size)
            ASSERT_NE(slice(*clip, at, block_size), zeros(block_size)) << "block at " << at;
}

TEST_F(SampleImage, Cue2mpgWritesEveryEntryPregapsEmpty)
{
    Scratch s;
    stage(s);
    RunResult r = s.run({"-cue2mpg", "sample", "out"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(without_clock(r.out),
              banner + "CUE source --> sample.cue\nMPEG destination --> out.mpg\n"
                       "Extraction method --> cue2mpg\n\n" +
                  full_table +
                  track_line(1, "searching ") + "\xfe 0%\r\xfe 100%\r" +
                  track_line(2, "searching ") + "\xfe 100%\r" +
                  track_line(2, "writing...") + "\xfe 100% " + eta +
                  track_line(3, "searching ") + "\xfe 100%\r" +
                  track_line(4, "searching ") + "\xfe 50%\r" +
                  track_line(4, "writing...") + "\xfe 50% " + eta + "\xfe 100% " + eta +
                  "\xfe completed. Track(s) written.\n\n");
    EXPECT_EQ(s.files(), (std::vector<std::string>{"out01.mpg", "out02.mpg", "out03.mpg",
                                                   "out04.mpg", "sample.bin", "sample.cue"}));
    EXPECT_EQ(s.size("out01.mpg"), 0u);
    EXPECT_EQ(s.size("out03.mpg"), 0u);
    // The rear margin follows each clip as zero user data.
    EXPECT_TRUE(same_bytes(s.read("out02.mpg"), padded(*clip1, movie1_mpeg)));
    EXPECT_TRUE(same_bytes(s.read("out04.mpg"), padded(*clip2, movie2_mpeg)));
}

TEST_F(SampleImage, Cue2mpgWithFixGivesTheClipsExactly)
{
    Scratch s;
    stage(s);
    RunResult r = s.run({"-cue2mpg", "-fix", "sample", "out"});
    EXPECT_EQ(r.status, 0);
    // The first margin block after each clip counts as broken; no pack
    // follows it, so the copy of that track ends there.
    EXPECT_EQ(without_clock(r.out),
              banner + "CUE source --> sample.cue\nMPEG destination --> out.mpg\n"
                       "Extraction method --> cue2mpg\n"
                       "- Fix broken MPEG blocks enabled.\n\n" +
                  full_table +
                  track_line(1, "searching ") + "\xfe 0%\r\xfe 100%\r" +
                  track_line(2, "searching ") + "\xfe 100%\r" +
                  track_line(2, "writing...") + "\xfe 100% " + eta + "\xfe 100%\r" +
                  track_line(3, "searching ") + "\xfe 100%\r" +
                  track_line(4, "searching ") + "\xfe 50%\r" +
                  track_line(4, "writing...") + "\xfe 50% " + eta + "\xfe 100% " + eta +
                  "\xfe 100%\r" + "\xfe completed. Track(s) written.\n\n" +
                  "\xfe 2 MPEG block correction(s) applied.\n\n");
    EXPECT_EQ(s.size("out01.mpg"), 0u);
    EXPECT_EQ(s.size("out03.mpg"), 0u);
    EXPECT_TRUE(same_bytes(s.read("out02.mpg"), *clip1));
    EXPECT_TRUE(same_bytes(s.read("out04.mpg"), *clip2));
}

TEST_F(SampleImage, NobumperFindsNoBumperAndKeepsTheClips)
{
    // ffmpeg writes no end code, so the pre-scan finds nothing in either track
    // and runs again for the second one.
    Scratch s;
    stage(s);
    RunResult r = s.run({"-cue2mpg", "-nobumper", "sample", "out"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(without_clock(r.out),
              banner + "CUE source --> sample.cue\nMPEG destination --> out.mpg\n"
                       "Extraction method --> cue2mpg\n"
                       "- Fix broken MPEG blocks enabled.\n"
                       "- Remove CD-i bumper from file.\n\n" +
                  full_table +
                  track_line(1, "searching ") + "\xfe 0%\r\xfe 100%\r" +
                  track_line(2, "searching ") + "\xfe 100%\r" +
                  track_line(2, "writing...") + "\r\xfe pre-scanning\r" + "\xfe 100% " + eta +
                  "\xfe 100%\r" +
                  track_line(3, "searching ") + "\xfe 100%\r" +
                  track_line(4, "searching ") + "\xfe 50%\r" +
                  track_line(4, "writing...") + "\r\xfe pre-scanning\r" + "\xfe 50% " + eta +
                  "\xfe 100% " + eta + "\xfe 100%\r" +
                  "\xfe completed. Track(s) written.\n\n" +
                  "\xfe 2 MPEG block correction(s) applied.\n\n");
    EXPECT_TRUE(same_bytes(s.read("out02.mpg"), *clip1));
    EXPECT_TRUE(same_bytes(s.read("out04.mpg"), *clip2));
}

TEST_F(SampleImage, SheetWithoutPregapsAndWithPlainLineEnds)
{
    // The same image described without INDEX 00 lines: the movies become
    // entries 1 and 2, and the first one now runs on through the second
    // track's pregap (zero user data) up to one sector before 00:10:73.
    Scratch s;
    s.write("sample.bin", *bin);
    s.write_text("plain.cue", "FILE \"sample.bin\" BINARY\n"
                              "  TRACK 01 MODE2/2352\n    FLAGS DCP\n    INDEX 01 00:00:00\n"
                              "  TRACK 02 MODE2/2352\n    FLAGS DCP\n    INDEX 01 00:06:00\n"
                              "  TRACK 03 MODE2/2352\n    FLAGS DCP\n    INDEX 01 00:10:73\n");
    RunResult r = s.run({"-cue2mpg", "plain", "m.mpg"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(without_clock(r.out),
              banner + "CUE source --> plain.cue\nMPEG destination --> m.mpg\n"
                       "Extraction method --> cue2mpg\n\n" +
                  table_header +
                  "    0        00:00.00     2352 bytes/sector            0        1056048\n"
                  "    1        00:06.00     2352 bytes/sector      1058400        1933344\n"
                  "    2        00:10.73     2352 bytes/sector      1935696        2812992\n"
                  "\n" +
                  track_line(1, "searching ") + "\xfe 100%\r" +
                  track_line(1, "writing...") + "\xfe 100% " + eta +
                  track_line(2, "searching ") + "\xfe 50%\r" +
                  track_line(2, "writing...") + "\xfe 50% " + eta + "\xfe 100% " + eta +
                  "\xfe completed. Track(s) written.\n\n");
    EXPECT_TRUE(same_bytes(s.read("m01.mpg"), padded(*clip1, (822 - 480 - 1) * block_size)));
    EXPECT_TRUE(same_bytes(s.read("m02.mpg"), padded(*clip2, movie2_mpeg)));

    RunResult fixed = s.run({"-cue2mpg", "-fix", "plain", "f.mpg"});
    EXPECT_EQ(fixed.status, 0);
    EXPECT_TRUE(same_bytes(s.read("f01.mpg"), *clip1));
    EXPECT_TRUE(same_bytes(s.read("f02.mpg"), *clip2));
}

TEST_F(SampleImage, SheetInAnotherFolderFindsItsBin)
{
    // vcdimager names the BIN without a folder; it lies beside the sheet.
    Scratch s;
    const std::string cue = (sample_dir / "sample.cue").string();
    RunResult r = s.run({"-cue2mpg", "-track4", cue, "m.mpg"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(without_clock(r.out),
              banner + "CUE source --> " + cue + "\nMPEG destination --> m.mpg\n"
                       "Extraction method --> cue2mpg\n- Selected track #4\n\n" +
                  full_table + track_line(4, "searching ") + "\xfe 50%\r" +
                  track_line(4, "writing...") + "\xfe 50% " + eta + "\xfe 100% " + eta +
                  "\xfe completed. Track(s) written.\n\n");
    EXPECT_EQ(s.files(), std::vector<std::string>{"m.mpg"});
    EXPECT_TRUE(same_bytes(s.read("m.mpg"), padded(*clip2, movie2_mpeg)));
}

TEST_F(SampleImage, Cue2rawThenRaw2mpgGivesTheSameStream)
{
    Scratch s;
    stage(s);
    RunResult cut = s.run({"-cue2raw", "-track2", "sample", "t2"});
    EXPECT_EQ(cut.status, 0);
    EXPECT_EQ(without_clock(cut.out),
              banner + "CUE source --> sample.cue\nRAW image destination --> t2.raw\n"
                       "Extraction method --> cue2raw\n- Selected track #2\n\n" +
                  full_table + track_line(2, "writing...") + "\xfe 100% " + eta +
                  "\n\xfe completed. Track(s) written.\n\n");
    EXPECT_TRUE(same_bytes(s.read("t2.raw"), slice(*bin, movie1_start, movie1_end - movie1_start)));

    RunResult back = s.run({"-raw2mpg", "t2", "t2"});
    EXPECT_EQ(back.status, 0);
    EXPECT_EQ(back.out, banner + "RAW track image source --> t2.raw\nMPEG destination --> t2.mpg\n"
                                 "Extraction method --> raw2mpg\n\n" +
                            searching + "\xfe 0%\r" + writing + "\xfe 0% [00:00:00] \r" +
                            "\n\xfe completed. t2.mpg written.\n");
    EXPECT_TRUE(same_bytes(s.read("t2.mpg"), padded(*clip1, movie1_mpeg)));

    RunResult fixed = s.run({"-raw2mpg", "-fix", "t2", "f2"});
    EXPECT_EQ(fixed.status, 0);
    EXPECT_TRUE(same_bytes(s.read("f2.mpg"), *clip1));
}

TEST_F(SampleImage, Cue2datThenDat2mpgGivesTheSameStream)
{
    Scratch s;
    stage(s);
    RunResult cut = s.run({"-cue2dat", "-track2", "sample", "t2"});
    EXPECT_EQ(cut.status, 0);
    // The whole-image check finds the first pack in sector 480, past 1 MiB.
    EXPECT_EQ(without_clock(cut.out),
              banner + "CUE source --> sample.cue\nVCD DAT destination --> t2.dat\n"
                       "Extraction method --> cue2dat\n- Selected track #2\n\n" +
                  full_table + searching + "\xfe 0%\r\xfe 50%\r" + track_line(2, "writing...") +
                  "\xfe 100% " + eta + "\xfe completed. Track(s) written.\n\n");
    EXPECT_TRUE(same_bytes(s.read("t2.dat"),
                           concat({dat_header_bytes,
                                   slice(*bin, movie1_start, movie1_end - movie1_start)})));

    RunResult back = s.run({"-dat2mpg", "t2", "t2"});
    EXPECT_EQ(back.status, 0);
    EXPECT_EQ(back.out, banner + "VCD DAT source --> t2.dat\nMPEG destination --> t2.mpg\n"
                                 "Extraction method --> dat2mpg\n\n" +
                            searching + "\xfe 0%\r" + writing + "\xfe 0% [00:00:00] \r" +
                            "\n\xfe completed. t2.mpg written.\n");
    EXPECT_TRUE(same_bytes(s.read("t2.mpg"), padded(*clip1, movie1_mpeg)));
}

TEST_F(SampleImage, Mpg2datOfAClipReadsBackThroughDat2mpg)
{
    // 44 + (30 + 148) sectors; the framed sectors give the clip back whole.
    Scratch s;
    s.write("clip2.mpg", *clip2);
    RunResult r = s.run({"-mpg2dat", "clip2", "c2"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(s.size("c2.dat"), 44 + (30 + 148) * sector_bytes);
    Bytes dat = s.read("c2.dat");
    for (std::size_t k = 0; k < 148; ++k)
        ASSERT_TRUE(same_bytes(slice(dat, 44 + (30 + k) * sector_bytes + 24, block_size),
                               slice(*clip2, k * block_size, block_size)))
            << "sector " << k;

    RunResult back = s.run({"-dat2mpg", "c2", "back"});
    EXPECT_EQ(back.status, 0);
    // The last data sector cannot be read whole from 24 bytes into it.
    EXPECT_TRUE(same_bytes(s.read("back.mpg"), slice(*clip2, 0, 147 * block_size)));
}

}  // namespace
