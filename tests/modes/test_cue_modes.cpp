#include <gtest/gtest.h>

#include <filesystem>

#include "cue_fixtures.h"

namespace {

constexpr std::uint64_t S = 2352;
const std::string corrections_none = "\xfe 0 MPEG block correction(s) applied.\n\n";

// A data track of 4 sectors, then two movie tracks of 20 sectors each.
struct VcdImage {
    Scratch s;
    Bytes stream1 = mpeg_stream(20, 0);
    Bytes stream2 = mpeg_stream(20, 100);
    Bytes bin;
    std::vector<TableRow> rows = {raw_row(0, 3 * S), raw_row(4, 23 * S), raw_row(24, 44 * S)};

    explicit VcdImage(bool first_has_mpeg = true)
    {
        bin = concat({data_sectors(4), first_has_mpeg ? raw_track(stream1, 4) : data_sectors(20, 4),
                      raw_track(stream2, 24)});
        s.write("vcd.bin", bin);
        s.write_text("vcd.cue", vcd_sheet("\"vcd.bin\"", {0, 4, 24}));
    }
    // The sectors cue2raw copies: up to one sector short of the next entry.
    Bytes track1_sectors() const { return slice(bin, 4 * S, 19 * S); }
    Bytes track2_sectors() const { return slice(bin, 24 * S, 20 * S); }
};

TEST(CueRawCopies, WholeSectorsNeverRepaired)
{
    struct Case {
        std::string mode;
        std::vector<std::string> options;
        std::string summary;
    } cases[] = {
        {"cue2raw", {}, "\n"},
        {"cue2raw", {"-fix"}, "- Fix broken MPEG blocks enabled.\n\n"},
        {"cue2raw", {"-nobumper"}, "- Fix broken MPEG blocks enabled.\n- Remove CD-i bumper from file.\n\n"},
        {"cue2dat", {}, "\n"},
        {"cue2dat", {"-nobumper", "-fix"}, "- Fix broken MPEG blocks enabled.\n- Remove CD-i bumper from file.\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode + " " + testing::PrintToString(c.options));
        VcdImage v;
        std::vector<std::string> args = {"-" + c.mode};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {"vcd", "out"});
        RunResult r = v.s.run(args);
        bool dat = c.mode == "cue2dat";
        std::string ext = dat ? ".dat" : ".raw";
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, banner + cue_header(c.mode, "vcd.cue", "out" + ext) + c.summary + table_text(v.rows) +
                             (dat ? image_searching + scan_progress : "") + track_writing(1) + copy_progress +
                             track_writing(2) + copy_progress + (dat ? completed : raw_completed) +
                             (c.options.empty() ? "" : corrections_none));
        Bytes head = dat ? dat_header_bytes : Bytes{};
        EXPECT_TRUE(same_bytes(v.s.read("out01" + ext), concat({head, v.track1_sectors()})));
        EXPECT_TRUE(same_bytes(v.s.read("out02" + ext), concat({head, v.track2_sectors()})));
        EXPECT_EQ(v.s.files().size(), 4u);
    }
}

TEST(CueRawCopies, DatNeedsAnMpegStreamSomewhereInTheBin)
{
    for (std::size_t sectors : {12u, 2u}) {
        SCOPED_TRACE(sectors);
        Scratch s;
        s.write("vcd.bin", data_sectors(sectors));
        s.write_text("vcd.cue", vcd_sheet("vcd.bin", {0, 1}));
        RunResult r = s.run({"-cue2dat", "vcd", "out"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, banner + cue_header("cue2dat", "vcd.cue", "out.dat") + "\n" +
                             table_text({raw_row(0, 0), raw_row(1, sectors * S)}) + image_searching +
                             (sectors * S >= 5000 ? scan_progress : "") +
                             "\n\nCould not find MPEG stream in BIN file.\n");
        EXPECT_EQ(s.files(), (std::vector<std::string>{"vcd.bin", "vcd.cue"}));
    }
}

TEST(CueMpeg, UserDataFromTheFirstPackOfEachTrack)
{
    VcdImage v;
    RunResult r = v.s.run({"-cue2mpg", "vcd", "movie"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, banner + cue_header("cue2mpg", "vcd.cue", "movie.mpg") + "\n" + table_text(v.rows) +
                         track_searching(1) + scan_progress + track_writing(1) + copy_progress +
                         track_searching(2) + scan_progress + track_writing(2) + copy_progress + completed);
    // The pack starts 24 bytes into the track, so its last sector is not
    // read whole before the entry's end.
    EXPECT_TRUE(same_bytes(v.s.read("movie01.mpg"), slice(v.stream1, 0, 18 * block_size)));
    EXPECT_TRUE(same_bytes(v.s.read("movie02.mpg"), slice(v.stream2, 0, 19 * block_size)));

    r = v.s.run({"-cue2mpg", "-track2", "vcd", "film"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, banner + cue_header("cue2mpg", "vcd.cue", "film.mpg") + "- Selected track #2\n\n" +
                         table_text(v.rows) + track_searching(2) + scan_progress + track_writing(2) + copy_progress +
                         completed);
    EXPECT_TRUE(same_bytes(v.s.read("film.mpg"), slice(v.stream2, 0, 19 * block_size)));
}

TEST(CueMpeg, TrackWithoutMpegLeavesAnEmptyFile)
{
    VcdImage v(false);
    RunResult r = v.s.run({"-cue2mpg", "vcd", "movie"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, banner + cue_header("cue2mpg", "vcd.cue", "movie.mpg") + "\n" + table_text(v.rows) +
                         track_searching(1) + scan_progress + track_searching(2) + scan_progress + track_writing(2) +
                         copy_progress + completed);
    EXPECT_EQ(v.s.size("movie01.mpg"), 0u);
    EXPECT_TRUE(same_bytes(v.s.read("movie02.mpg"), slice(v.stream2, 0, 19 * block_size)));
}

TEST(CueModes, OutputThatCannotBeCreatedSkipsOnlyItsTrack)
{
    {
        VcdImage v;
        std::filesystem::create_directory(v.s.path("out01.raw"));
        RunResult r = v.s.run({"-cue2raw", "-fix", "vcd", "out"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, banner + cue_header("cue2raw", "vcd.cue", "out.raw") +
                             "- Fix broken MPEG blocks enabled.\n\n" + table_text(v.rows) +
                             "\xfe ERROR: could not write Track 1       \n" + track_writing(2) + copy_progress +
                             raw_completed + corrections_none);
        EXPECT_TRUE(same_bytes(v.s.read("out02.raw"), v.track2_sectors()));
    }
    {
        VcdImage v;
        std::filesystem::create_directory(v.s.path("out02.mpg"));
        RunResult r = v.s.run({"-cue2mpg", "vcd", "out"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, banner + cue_header("cue2mpg", "vcd.cue", "out.mpg") + "\n" + table_text(v.rows) +
                             track_searching(1) + scan_progress + track_writing(1) + copy_progress +
                             "\xfe ERROR: could not write Track 2       \n" + completed);
        EXPECT_TRUE(same_bytes(v.s.read("out01.mpg"), slice(v.stream1, 0, 18 * block_size)));
    }
}

TEST(CueModes, WriteSizeAboveReadSizeIsRefusedAfterTheTable)
{
    struct Case {
        std::vector<std::string> args;
        std::string summary;
        std::string message;
    } cases[] = {
        {{"-cue2mpg", "-r2048"}, "- User defined read sector size: 2048 bytes\n\n",
         "Track 1: write size of 2324 bytes is larger than its read size of 2048 bytes.\n"},
        {{"-cue2raw", "-w32705", "-track0"},
         "- User defined write sector size: 32705 bytes\n- Selected track #0\n\n",
         "Track 0: write size of 32705 bytes is larger than its read size of 30576 bytes.\n"},
        {{"-cue2mpg", "-w2353", "-track2"}, "- User defined write sector size: 2353 bytes\n- Selected track #2\n\n",
         "Track 2: write size of 2353 bytes is larger than its read size of 2352 bytes.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        VcdImage v;
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"vcd", "out"});
        RunResult r = v.s.run(args);
        std::string mode = c.args[0].substr(1);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, banner + cue_header(mode, "vcd.cue", mode == "cue2raw" ? "out.raw" : "out.mpg") +
                             c.summary + table_text(v.rows) + c.message);
        EXPECT_EQ(v.s.files(), (std::vector<std::string>{"vcd.bin", "vcd.cue"}));
    }
}

// A Mode 1 image with one track: each sector's 2048 user bytes, read from
// the pack start on.
TEST(CueMpeg, Mode1SingleTrack)
{
    Bytes user = filler(4 * 2048, 7);
    put_bytes(user, 0, {0x00, 0x00, 0x01, 0xBA, 0x21});
    struct Case {
        const char* what;
        std::string sheet;
        Bytes bin;
        unsigned size;
        std::vector<TableRow> rows;
        Bytes want;
    } cases[] = {
        {"INDEX at 0", vcd_sheet("m.bin", {0}, "MODE1/2352"), mode1_sectors(user), 2352,
         {{0, 0, 0, 2352, 0, 0}, {0, 1, 0, 2352, 0, 4 * S}}, slice(user, 0, 3 * 2048)},
        {"INDEX at sector 2", vcd_sheet("m.bin", {2}, "MODE1/2352"), mode1_sectors(concat({zeros(2 * 2048), user})),
         2352, {{0, 0, 2, 2352, 2 * S, 0}, {0, 1, 0, 2352, 2 * S, 6 * S}}, slice(user, 0, 3 * 2048)},
        {"no INDEX", "FILE m.bin BINARY\n  TRACK 01 MODE1/2352\n", mode1_sectors(user), 2352,
         {{0, 0, 0, 0, 0, 0}, {0, 1, 0, 2352, 0, 4 * S}}, slice(user, 0, 3 * 2048)},
        {"2048-byte sectors", vcd_sheet("m.bin", {0}, "MODE1/2048"), user, 2048,
         {{0, 0, 0, 2048, 0, 0}, {0, 1, 0, 2048, 0, 4 * 2048}}, user},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Scratch s;
        s.write("m.bin", c.bin);
        s.write_text("m.cue", c.sheet);
        RunResult r = s.run({"-fix", "-cue2mpg", "-r2332", "-w100", "m", "out"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, banner + cue_header("cue2mpg", "m.cue", "out.mpg") +
                             "- Mode 1 detected: -fix option automatically disabled.\n"
                             "- User defined read sector size: " + std::to_string(c.size) + " bytes\n"
                             "- User defined write sector size: 2048 bytes\n\n" +
                             table_text(c.rows) + track_searching(1) + scan_progress + track_writing(1) +
                             copy_progress + completed);
        EXPECT_TRUE(same_bytes(s.read("out.mpg"), c.want));
    }
}

// Without -r and -w, sectors smaller than the Form 2 user data are written
// whole.
TEST(CueMpeg, SmallSectorsAreWrittenWhole)
{
    Scratch s;
    Bytes user = filler(10 * 2048, 3);
    put_bytes(user, 0, {0x00, 0x00, 0x01, 0xBA, 0x21});
    s.write("m.bin", concat({zeros(4 * 2048), user}));
    s.write_text("m.cue", vcd_sheet("m.bin", {0, 4}, "MODE1/2048"));
    RunResult r = s.run({"-cue2mpg", "m", "out"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, banner + cue_header("cue2mpg", "m.cue", "out.mpg") + "\n" +
                         table_text({{0, 0, 0, 2048, 0, 3 * 2048}, {0, 0, 4, 2048, 4 * 2048, 14 * 2048}}) +
                         track_searching(1) + scan_progress + track_writing(1) + copy_progress + completed);
    EXPECT_TRUE(same_bytes(s.read("out.mpg"), user));
}

}  // namespace
