#include <gtest/gtest.h>

#include <filesystem>

#include "fixtures.h"
#include "harness.h"

namespace {

using cue::raw_row;
constexpr std::uint64_t S = 2352;
const std::string corrections0 = "\xfe 0 MPEG block correction(s) applied.\n\n";

// A data track of 4 sectors, then two movie tracks of 20 sectors each.
struct VcdImage {
    Scratch s;
    Bytes stream1 = mpeg_stream(20, 0);
    Bytes stream2 = mpeg_stream(20, 100);
    Bytes bin;
    std::string table = cue::table({raw_row(0, 3 * S), raw_row(4, 23 * S), raw_row(24, 44 * S)});

    explicit VcdImage(bool first_has_mpeg = true)
    {
        bin = concat({cue::data_sectors(4), first_has_mpeg ? raw_track(stream1, 4) : cue::data_sectors(20, 4),
                      raw_track(stream2, 24)});
        s.write("vcd.bin", bin);
        s.write_text("vcd.cue", cue::sheet("\"vcd.bin\"", {0, 4, 24}));
    }
    // Up to one sector short of the next entry: one chunk of 13 sectors, then
    // single sectors.
    Bytes track1_sectors() const { return slice(bin, 4 * S, 19 * S); }
    Bytes track2_sectors() const { return slice(bin, 24 * S, 20 * S); }
};

TEST(CueModes, RawAndDatCopiesAreWholeSectorsNeverRepaired)
{
    for (const char* mode : {"cue2raw", "cue2dat"}) {
        SCOPED_TRACE(mode);
        bool dat = std::string(mode) == "cue2dat";
        VcdImage v;
        RunResult r = v.s.run({"-" + std::string(mode), dat ? "-nobumper" : "-fix", "vcd", "out"});
        std::string ext = dat ? ".dat" : ".raw";
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, cue::header(mode, "vcd.cue", "out" + ext) + "- Fix broken MPEG blocks enabled.\n" +
                             (dat ? "- Remove CD-i bumper from file.\n\n" : "\n") + v.table +
                             (dat ? "\xfe                 -> searching \r" + cue::scan0 : "") + cue::writing(1) +
                             cue::copy0 + cue::writing(2) + cue::copy0 + (dat ? "" : "\n") + cue::completed +
                             corrections0);
        Bytes head = dat ? dat_header_bytes : Bytes{};
        EXPECT_TRUE(same_bytes(v.s.read("out01" + ext), concat({head, v.track1_sectors()})));
        EXPECT_TRUE(same_bytes(v.s.read("out02" + ext), concat({head, v.track2_sectors()})));
        EXPECT_EQ(v.s.files().size(), 4u);
    }
}

TEST(CueModes, DatNeedsAnMpegStreamSomewhereInTheBin)
{
    Scratch s;
    s.write("vcd.bin", cue::data_sectors(12));
    s.write_text("vcd.cue", cue::sheet("vcd.bin", {0, 1}));
    RunResult r = s.run({"-cue2dat", "vcd", "out"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, cue::header("cue2dat", "vcd.cue", "out.dat") + "\n" +
                         cue::table({raw_row(0, 0), raw_row(1, 12 * S)}) + "\xfe                 -> searching \r" +
                         cue::scan0 + "\n\nCould not find MPEG stream in BIN file.\n");
    EXPECT_EQ(s.files(), (std::vector<std::string>{"vcd.bin", "vcd.cue"}));
}

TEST(CueModes, MpegTrackWithoutAPackLeavesAnEmptyFile)
{
    VcdImage v(false);
    RunResult r = v.s.run({"-cue2mpg", "vcd", "movie"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, cue::header("cue2mpg", "vcd.cue", "movie.mpg") + "\n" + v.table + cue::searching(1) +
                         cue::scan0 + cue::searching(2) + cue::scan0 + cue::writing(2) + cue::copy0 + cue::completed);
    EXPECT_EQ(v.s.size("movie01.mpg"), 0u);
    // The pack starts 24 bytes into the track; its last sector's user data
    // is read on its own.
    EXPECT_TRUE(same_bytes(v.s.read("movie02.mpg"), slice(v.stream2, 0, 20 * block_size)));
}

TEST(CueModes, OutputThatCannotBeCreatedSkipsOnlyItsTrack)
{
    VcdImage v;
    std::filesystem::create_directory(v.s.path("out01.raw"));
    RunResult r = v.s.run({"-cue2raw", "vcd", "out"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, cue::header("cue2raw", "vcd.cue", "out.raw") + "\n" + v.table +
                         "\xfe ERROR: could not write Track 1       \n" + cue::writing(2) + cue::copy0 + "\n" +
                         cue::completed);
    EXPECT_TRUE(same_bytes(v.s.read("out02.raw"), v.track2_sectors()));
}

TEST(CueModes, WriteSizeAboveReadSizeIsRefusedAfterTheTable)
{
    VcdImage v;
    RunResult r = v.s.run({"-cue2mpg", "-r2048", "vcd", "out"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, cue::header("cue2mpg", "vcd.cue", "out.mpg") + "- User defined read sector size: 2048 bytes\n\n" +
                         v.table + "Track 1: write size of 2324 bytes is larger than its read size of 2048 bytes.\n");
    EXPECT_EQ(v.s.files(), (std::vector<std::string>{"vcd.bin", "vcd.cue"}));
}

// Mode 1 sectors: sync, header, 2048 user bytes, 288 zero bytes.
Bytes mode1_sectors(const Bytes& user_data)
{
    Bytes out;
    for (std::size_t at = 0; at < user_data.size(); at += 2048) {
        Bytes s(sector_bytes, 0);
        put_bytes(s, 0, {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00});
        put_bytes(s, 12, {0x00, 0x02, 0x00, 0x01});
        Bytes user = slice(user_data, at, 2048);
        std::copy(user.begin(), user.end(), s.begin() + 16);
        out.insert(out.end(), s.begin(), s.end());
    }
    return out;
}

// Mode 1 entries give their 2048 user bytes per sector, from the pack on.
TEST(CueModes, Mode1Images)
{
    Bytes user = filler(4 * 2048, 7);
    put_bytes(user, 0, {0x00, 0x00, 0x01, 0xBA, 0x21});
    const std::string mode1_summary = "- Mode 1 detected: -fix option automatically disabled.\n";
    const std::string forced = "- User defined write sector size: 2048 bytes\n\n";
    struct Case {
        const char* what;
        std::string sheet;
        Bytes bin;
        std::vector<std::string> options;
        std::string summary;
        std::vector<cue::Row> rows;
        Bytes want;
    } cases[] = {
        {"single track, INDEX at sector 2", cue::sheet("m.bin", {2}, "MODE1/2352"),
         mode1_sectors(concat({zeros(2 * 2048), user})), {"-fix", "-r2332", "-w100"},
         mode1_summary + "- User defined read sector size: 2352 bytes\n" + forced,
         {{0, 0, 2, 2352, 2 * S, 0}, {0, 1, 0, 2352, 2 * S, 6 * S}}, slice(user, 0, 4 * 2048)},
        {"single track of 2048-byte sectors", cue::sheet("m.bin", {0}, "MODE1/2048"), user, {"-fix", "-r2332"},
         mode1_summary + "- User defined read sector size: 2048 bytes\n" + forced,
         {{0, 0, 0, 2048, 0, 0}, {0, 1, 0, 2048, 0, 4 * 2048}}, user},
        {"two entries of 2048-byte sectors", cue::sheet("m.bin", {0, 4}, "MODE1/2048"), concat({zeros(4 * 2048), user}),
         {}, "\n", {{0, 0, 0, 2048, 0, 3 * 2048}, {0, 0, 4, 2048, 4 * 2048, 8 * 2048}}, user},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Scratch s;
        s.write("m.bin", c.bin);
        s.write_text("m.cue", c.sheet);
        std::vector<std::string> args = {"-cue2mpg"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {"m", "out"});
        RunResult r = s.run(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, cue::header("cue2mpg", "m.cue", "out.mpg") + c.summary + cue::table(c.rows) +
                             cue::searching(1) + cue::scan0 + cue::writing(1) + cue::copy0 + cue::completed);
        EXPECT_TRUE(same_bytes(s.read("out.mpg"), c.want));
    }
}

}  // namespace
