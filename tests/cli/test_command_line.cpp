#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/command_line.h"
#include "state/run_state.h"

namespace {

// Parses as the program would, from fresh records; the usage text, if any,
// is swallowed and reported through the result.
bool parse(std::vector<std::string> args)
{
    reset_run_state();
    args.insert(args.begin(), "mivaro");
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    testing::internal::CaptureStdout();
    try {
        parse_command_line(static_cast<int>(argv.size()), argv.data());
    } catch (const RunEnd& end) {
        std::string usage = testing::internal::GetCapturedStdout();
        EXPECT_EQ(end.status, 0);
        EXPECT_EQ(usage.rfind("Usage  :  Mivaro [options] [-track##] inputfile outputfile\n\n", 0), 0u);
        return false;
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    return true;
}

TEST(HasExtension, LooksOnlyAfterTheLastBackslash)
{
    struct Case {
        const char* name;
        bool want;
    } cases[] = {
        {"", false},
        {"movie", false},
        {"movie.cue", true},
        {"name.", true},
        {".", true},
        {".hidden", true},
        {"../movie", true},
        {"dir.d/movie", true},
        {"D:\\vcd.d\\movie", false},
        {"D:\\vcd\\movie.bin", true},
        {"movie.bin\\", true},
        {"movie\\", false},
        {"a.b\\\\", false},
        {"\\", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(has_extension(c.name), c.want) << '"' << c.name << '"';
}

TEST(LeadingNumber, ReadsLikeAtoi)
{
    struct Case {
        const char* text;
        std::int32_t want;
    } cases[] = {
        {"2352", 2352}, {"  42x", 42}, {"\t7", 7}, {"-7", -7}, {"+8", 8}, {"x12", 0},
        {"", 0},        {"- 5", 0},    {"05", 5},  {"1.5", 1}, {"4294967297", 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(leading_number(c.text), c.want) << '"' << c.text << '"';
}

TEST(ParseCommandLine, NamesGetDefaultExtensionsByModeAndPosition)
{
    struct Case {
        std::vector<std::string> args;
        const char* input;
        const char* output;
        std::uint16_t mode, kind;
    } cases[] = {
        {{"-cue2mpg", "movie", "out"}, "movie.cue", "out.mpg", 2, 2},
        {{"movie", "-cue2mpg", "out"}, "movie.cue", "out.mpg", 2, 2},
        {{"track", "-raw2mpg", "out"}, "track.cue", "out.mpg", 4, 2},
        {{"-raw2mpg", "track", "out"}, "track.raw", "out.mpg", 4, 2},
        {{"-raw2mpg", "track.bin", "out"}, "track.bin", "out.mpg", 4, 2},
        {{"-dat2mpg", "avseq01", "film"}, "avseq01.dat", "film.mpg", 6, 2},
        {{"-cif2mpg", "a", "b"}, "a.cif", "b.mpg", 7, 2},
        {{"-mpg2mpg", "a", "b"}, "a.mpg", "b.mpg", 8, 2},
        {{"-mpg2dat", "a", "b"}, "a.mpg", "b.dat", 9, 1},
        {{"-raw2dat", "a", "b"}, "a.raw", "b.dat", 5, 1},
        {{"-cue2raw", "a", "b"}, "a.cue", "b.raw", 1, 0},
        {{"-cue2dat", "a", "b"}, "a.cue", "b.dat", 3, 1},
        {{"-CUE2MPG", "a", "b"}, "a.cue", "b.mpg", 2, 2},
        {{"in", "out", "-raw2mpg"}, "in.cue", "out.raw", 0, 0},
        {{"-x", "in"}, "-x.cue", "in.raw", 0, 0},
        {{"-", "-help"}, "-.cue", "-help.raw", 0, 0},
        {{"-cue2mpg", "-cue2raw", "in", "out"}, "in.cue", "out.raw", 1, 0},
        {{"-cue2mpg", "D:\\vcd\\movie", "../movie"}, "D:\\vcd\\movie.cue", "../movie", 2, 2},
        {{"-cue2mpg", "name.", "D:\\vcd.d\\movie"}, "name.", "D:\\vcd.d\\movie.mpg", 2, 2},
        {{"-track", "a", "b"}, "a.cue", "b.raw", 0, 0},
        {{"-r", "-w", "a", "b"}, "a.cue", "b.raw", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        ASSERT_TRUE(parse(c.args));
        EXPECT_EQ(io.input_name, c.input);
        EXPECT_EQ(io.output_name, c.output);
        EXPECT_EQ(settings.mode, c.mode);
        EXPECT_EQ(settings.output_kind, c.kind);
    }
}

TEST(ParseCommandLine, OptionOrderDecidesTheFlags)
{
    struct Case {
        std::vector<std::string> args;
        std::uint16_t fix, bumper;
    } cases[] = {
        {{"-cue2mpg", "in", "out", "-fix"}, 0, 0},
        {{"-fix", "-cue2raw", "in", "out"}, 0, 0},
        {{"-cue2raw", "-fix", "in", "out"}, 1, 0},
        {{"-nobumper", "-cue2dat", "in", "out"}, 0, 1},
        {{"-cue2dat", "-nobumper", "in", "out"}, 1, 1},
        {{"-fix", "-cue2mpg", "in", "out"}, 1, 0},
        {{"-FIX", "-raw2mpg", "in", "out"}, 1, 0},
        {{"-fix", "-raw2dat", "in", "out"}, 0, 0},
        {{"-fix", "-mpg2dat", "in", "out"}, 0, 0},
        {{"-NoBumper", "in", "out"}, 1, 1},
        {{"-fix", "-cue2mpg", "-cue2raw", "in", "out"}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        ASSERT_TRUE(parse(c.args));
        EXPECT_EQ(settings.fix_blocks, c.fix);
        EXPECT_EQ(settings.remove_bumper, c.bumper);
    }
}

TEST(ParseCommandLine, TrackAndSectorSizeValues)
{
    struct Case {
        std::vector<std::string> args;
        std::int16_t first, last;
        std::uint16_t selected;
        std::uint32_t read, write;
    } cases[] = {
        {{"-TRACK05"}, 5, 5, 1, 0, 0},
        {{"-Track05"}, 5, 5, 1, 0, 0},
        {{"-track3", "-track7"}, 7, 7, 2, 0, 0},
        {{"-trackall"}, 0, 0, 1, 0, 0},
        {{"-track"}, 0, 0, 0, 0, 0},
        {{"-track-2"}, -2, -2, 1, 0, 0},
        {{"-track65537"}, 1, 1, 1, 0, 0},
        {{"-track32768"}, -32768, -32768, 1, 0, 0},
        {{"-r2352"}, 0, 0, 0, 2352, 0},
        {{"-R2352"}, 0, 0, 0, 2352, 0},
        {{"-rx"}, 0, 0, 0, 0, 0},
        {{"-r2048", "-r"}, 0, 0, 0, 2048, 0},
        {{"-r2048", "-rx"}, 0, 0, 0, 0, 0},
        {{"-w2324"}, 0, 0, 0, 0, 2324},
        {{"-W100x"}, 0, 0, 0, 0, 100},
        {{"-w2324", "-w"}, 0, 0, 0, 0, 2324},
        {{"-r-1"}, 0, 0, 0, 0xFFFFFFFFu, 0},
        {{"-read"}, 0, 0, 0, 0, 0},
        {{"-r2332", "-w2324", "-track2"}, 2, 2, 1, 2332, 2324},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"in", "out"});
        ASSERT_TRUE(parse(args));
        EXPECT_EQ(settings.first_track, c.first);
        EXPECT_EQ(settings.last_track, c.last);
        EXPECT_EQ(settings.track_selected, c.selected);
        EXPECT_EQ(settings.read_sector_override, c.read);
        EXPECT_EQ(settings.write_sector_override, c.write);
        EXPECT_EQ(io.input_name, "in.cue");
        EXPECT_EQ(io.output_name, "out.raw");
    }
}

TEST(ParseCommandLine, NothingAfterTheOutputNameIsLookedAt)
{
    ASSERT_TRUE(parse({"a", "b", "-cue2mpg", "-fix", "-nobumper", "-track3", "-r2048", "-w2048", "c"}));
    EXPECT_EQ(settings.mode, 0);
    EXPECT_EQ(settings.fix_blocks, 0);
    EXPECT_EQ(settings.remove_bumper, 0);
    EXPECT_EQ(settings.track_selected, 0);
    EXPECT_EQ(settings.read_sector_override, 0u);
    EXPECT_EQ(settings.write_sector_override, 0u);
    EXPECT_EQ(io.output_name, "b.raw");
}

TEST(ParseCommandLine, TooFewNamesEndWithTheUsageText)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"movie"}, {"-cue2mpg", "-fix"}, {"-track"}, {"-track", "movie"}, {"-r", "-w", "-track5"}}) {
        SCOPED_TRACE(testing::PrintToString(args));
        EXPECT_FALSE(parse(args));
    }
}

TEST(ParseCommandLine, LongNamesAreKeptWhole)
{
    std::string input(5000, 'i');
    std::string output = std::string(4996, 'o') + ".mpg";
    ASSERT_TRUE(parse({"-cue2mpg", input, output}));
    EXPECT_EQ(io.input_name, input + ".cue");
    EXPECT_EQ(io.output_name, output);
}

}  // namespace
