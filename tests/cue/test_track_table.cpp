#include <gtest/gtest.h>

#include <filesystem>

#include "cue/track_table.h"
#include "cue_fixtures.h"
#include "state/run_state.h"

namespace {

constexpr std::uint64_t S = 2352;

TEST(TrackFilename, NumberGoesBeforeTheLastDot)
{
    struct Case {
        const char* name;
        int t;
        const char* want;
    } cases[] = {
        {"movie.mpg", 1, "movie01.mpg"},
        {"movie.mpg", 98, "movie98.mpg"},
        {"a.b.c", 2, "a.b02.c"},
        {"out.d/movie", 2, "out02.d/movie"},
        {"clip.averyveryverylongextension", 3, "clip03.averyveryverylongextension"},
        {".mpg", 4, "04.mpg"},
        {"movie.", 5, "movie05."},
        {"movie", 6, "movie06"},
        {"movie.mpg", 123, "movie12.mpg"},
    };
    for (const Case& c : cases) {
        reset_run_state();
        output_name_template = c.name;
        make_track_filename(c.t);
        EXPECT_EQ(io.output_name, c.want) << c.name << " #" << c.t;
        make_track_filename(c.t);
        EXPECT_EQ(io.output_name, c.want) << "numbers must not pile up";
    }
}

// Entries 0 to 3 at sectors 0, 2, 4 and 6 of an eight-sector image.
struct FourEntries {
    Scratch s;
    Bytes bin = data_sectors(8);
    std::vector<TableRow> rows = {raw_row(0, S), raw_row(2, 3 * S), raw_row(4, 5 * S), raw_row(6, 8 * S)};
    FourEntries()
    {
        s.write("x.bin", bin);
        s.write_text("x.cue", vcd_sheet("x.bin", {0, 2, 4, 6}));
    }
    Bytes entry(int t) const { return slice(bin, 2 * S * static_cast<unsigned>(t), t == 3 ? 2 * S : S); }
};

TEST(TrackTable, SelectedTrackIsWrittenUnderTheGivenName)
{
    for (int t : {0, 1, 3}) {
        SCOPED_TRACE(t);
        FourEntries f;
        std::string option = "-track" + std::to_string(t);
        RunResult r = f.s.run({"-cue2raw", option, "x", "out"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, banner + cue_header("cue2raw", "x.cue", "out.raw") + "- Selected track #" +
                             std::to_string(t) + "\n\n" + table_text(f.rows) + track_writing(t) + raw_completed);
        EXPECT_EQ(f.s.files(), (std::vector<std::string>{"out.raw", "x.bin", "x.cue"}));
        EXPECT_TRUE(same_bytes(f.s.read("out.raw"), f.entry(t)));
    }
}

TEST(TrackTable, MissingTrackIsRefusedAfterTheTable)
{
    struct Case {
        const char* option;
        const char* shown;
    } cases[] = {{"-track4", "4"}, {"-track-1", "-1"}, {"-track65535", "-1"}, {"-TRACK99", "99"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        FourEntries f;
        RunResult r = f.s.run({"-cue2mpg", c.option, "x", "out"});
        std::string shown = c.shown;
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, banner + cue_header("cue2mpg", "x.cue", "out.mpg") + "- Selected track #" + shown +
                             "\n\n" + table_text(f.rows) + "\xfe Track " + shown + " does not exist.\n\n");
        EXPECT_EQ(f.s.files(), (std::vector<std::string>{"x.bin", "x.cue"}));
    }
}

TEST(TrackTable, EachEntryGetsANumberedName)
{
    struct Case {
        std::string out_arg;
        std::vector<std::string> names;
    } cases[] = {
        {"out", {"out01.raw", "out02.raw", "out03.raw"}},
        {"a.b.c", {"a.b01.c", "a.b02.c", "a.b03.c"}},
        {"film.extension_of_any_length", {"film01.extension_of_any_length", "film02.extension_of_any_length",
                                          "film03.extension_of_any_length"}},
        {"out.d/movie", {"out01.d/movie", "out02.d/movie", "out03.d/movie"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.out_arg);
        FourEntries f;
        for (const std::string& name : c.names)
            std::filesystem::create_directories(f.s.path(name).parent_path());
        RunResult r = f.s.run({"-cue2raw", "x", c.out_arg});
        std::string out_name = c.out_arg == "out" ? "out.raw" : c.out_arg;
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, banner + cue_header("cue2raw", "x.cue", out_name) + "\n" + table_text(f.rows) +
                             track_writing(1) + track_writing(2) + track_writing(3) + raw_completed);
        for (int t = 1; t <= 3; ++t)
            EXPECT_TRUE(same_bytes(f.s.read(c.names[static_cast<std::size_t>(t - 1)]), f.entry(t))) << t;
        EXPECT_FALSE(f.s.exists(out_name));
    }
}

TEST(TrackTable, PregapEntriesAreNumberedAndASingleEntryIsNot)
{
    Scratch s;
    Bytes bin = data_sectors(12);
    s.write("x.bin", bin);
    s.write_text("x.cue", "FILE x.bin\nTRACK 1 MODE2/2352\nINDEX 1 00:00:00\nTRACK 2 MODE2/2352\nINDEX 0 00:00:03\n"
                          "INDEX 1 00:00:05\n");
    RunResult r = s.run({"-cue2raw", "x", "out"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, banner + cue_header("cue2raw", "x.cue", "out.raw") + "\n" +
                         table_text({raw_row(0, 2 * S), raw_row(3, 4 * S), raw_row(5, 12 * S)}) + track_writing(1) +
                         track_writing(2) + raw_completed);
    EXPECT_TRUE(same_bytes(s.read("out01.raw"), slice(bin, 3 * S, S)));
    EXPECT_TRUE(same_bytes(s.read("out02.raw"), slice(bin, 5 * S, 7 * S)));

    s.write_text("y.cue", vcd_sheet("x.bin", {0, 5}));
    r = s.run({"-cue2raw", "y", "single"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(same_bytes(s.read("single.raw"), slice(bin, 5 * S, 7 * S)));
    EXPECT_FALSE(s.exists("single01.raw"));
}

}  // namespace
