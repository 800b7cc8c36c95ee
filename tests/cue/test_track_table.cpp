#include <gtest/gtest.h>

#include <filesystem>

#include "fixtures.h"
#include "harness.h"

namespace {

using cue::raw_row;
constexpr std::uint64_t S = 2352;

// Entries 0 to 3 at sectors 0, 2, 4 and 6 of an eight-sector image.
struct FourEntries {
    Scratch s;
    Bytes bin = cue::data_sectors(8);
    std::string table = cue::table({raw_row(0, S), raw_row(2, 3 * S), raw_row(4, 5 * S), raw_row(6, 8 * S)});
    FourEntries()
    {
        s.write("x.bin", bin);
        s.write_text("x.cue", cue::sheet("x.bin", {0, 2, 4, 6}));
    }
    Bytes entry(int t) const { return slice(bin, 2 * S * static_cast<unsigned>(t), t == 3 ? 2 * S : S); }
};

TEST(TrackTable, TrackOptionPicksOneEntryUnderTheGivenName)
{
    struct Case {
        const char* option;
        int t;
        const char* shown;
    } cases[] = {{"-track0", 0, "0"}, {"-track3", 3, "3"}, {"-track4", -1, "4"}, {"-track65535", -1, "-1"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        FourEntries f;
        RunResult r = f.s.run({"-cue2raw", c.option, "x", "out"});
        std::string head =
            cue::header("cue2raw", "x.cue", "out.raw") + "- Selected track #" + c.shown + "\n\n" + f.table;
        if (c.t < 0) {
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.out, head + "\xfe Track " + c.shown + " does not exist.\n\n");
            EXPECT_EQ(f.s.files(), (std::vector<std::string>{"x.bin", "x.cue"}));
        } else {
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(r.out, head + cue::writing(c.t) + "\n" + cue::completed);
            EXPECT_EQ(f.s.files(), (std::vector<std::string>{"out.raw", "x.bin", "x.cue"}));
            EXPECT_TRUE(same_bytes(f.s.read("out.raw"), f.entry(c.t)));
        }
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
        {"film.extension_of_any_length",
         {"film01.extension_of_any_length", "film02.extension_of_any_length", "film03.extension_of_any_length"}},
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
        EXPECT_EQ(r.out, cue::header("cue2raw", "x.cue", out_name) + "\n" + f.table + cue::writing(1) +
                             cue::writing(2) + cue::writing(3) + "\n" + cue::completed);
        for (int t = 1; t <= 3; ++t)
            EXPECT_TRUE(same_bytes(f.s.read(c.names[static_cast<std::size_t>(t - 1)]), f.entry(t))) << t;
        EXPECT_FALSE(f.s.exists(out_name));
    }
}

}  // namespace
