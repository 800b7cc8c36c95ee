#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/command_line.h"
#include "state/numbers.h"
#include "harness.h"
#include "state/run_state.h"

namespace {

void parse(std::vector<std::string> args)
{
    reset_run_state();
    args.insert(args.begin(), "mivaro");
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    parse_command_line(static_cast<int>(argv.size()), argv.data());
}

TEST(HasExtension, LooksOnlyAfterTheLastBackslash)
{
    const std::pair<const char*, bool> cases[] = {
        {"", false}, {"movie", false}, {"name.", true}, {"../movie", true}, {"dir.d/movie", true},
        {"D:\\vcd.d\\movie", false}, {"D:\\vcd\\movie.bin", true}, {"movie.bin\\", true}, {"movie\\", false},
        {"a.b\\\\", false},
    };
    for (const auto& [name, want] : cases)
        EXPECT_EQ(has_extension(name), want) << '"' << name << '"';
}

TEST(CommandLine, NamesModesAndFlagsDependOnTheOrder)
{
    struct Case {
        std::vector<std::string> args;
        const char* input;
        const char* output;
        int mode, fix, bumper;
    } cases[] = {
        {{"-cue2mpg", "movie", "out"}, "movie.cue", "out.mpg", 2, 0, 0},
        {{"movie", "-cue2mpg", "out"}, "movie.cue", "out.mpg", 2, 0, 0},
        {{"track", "-raw2mpg", "out"}, "track.cue", "out.mpg", 4, 0, 0},
        {{"-raw2mpg", "track", "out"}, "track.raw", "out.mpg", 4, 0, 0},
        {{"-raw2mpg", "track.bin", "out"}, "track.bin", "out.mpg", 4, 0, 0},
        {{"-dat2mpg", "avseq01", "film"}, "avseq01.dat", "film.mpg", 6, 0, 0},
        {{"-cif2mpg", "a", "b"}, "a.cif", "b.mpg", 7, 0, 0},
        {{"-mpg2mpg", "a", "b"}, "a.mpg", "b.mpg", 8, 0, 0},
        {{"-mpg2dat", "a", "b"}, "a.mpg", "b.dat", 9, 0, 0},
        {{"-raw2dat", "a", "b"}, "a.raw", "b.dat", 5, 0, 0},
        {{"-cue2raw", "a", "b"}, "a.cue", "b.raw", 1, 0, 0},
        {{"-CUE2DAT", "a", "b"}, "a.cue", "b.dat", 3, 0, 0},
        {{"in", "out", "-raw2mpg", "-fix"}, "in.cue", "out.raw", 0, 0, 0},
        {{"-x", "-track", "in"}, "-x.cue", "in.raw", 0, 0, 0},
        {{"-cue2mpg", "D:\\vcd\\movie", "../movie"}, "D:\\vcd\\movie.cue", "../movie", 2, 0, 0},
        {{"-cue2mpg", "name.", "D:\\vcd.d\\movie"}, "name.", "D:\\vcd.d\\movie.mpg", 2, 0, 0},
        {{"-fix", "-cue2mpg", "a", "b", "-nobumper"}, "a.cue", "b.mpg", 2, 1, 0},
        {{"-fix", "-cue2raw", "a", "b"}, "a.cue", "b.raw", 1, 0, 0},
        {{"-cue2raw", "-FIX", "a", "b"}, "a.cue", "b.raw", 1, 1, 0},
        {{"-nobumper", "-cue2dat", "a", "b"}, "a.cue", "b.dat", 3, 0, 1},
        {{"-cue2dat", "-NoBumper", "a", "b"}, "a.cue", "b.dat", 3, 1, 1},
        {{"-fix", "-raw2dat", "a", "b"}, "a.raw", "b.dat", 5, 0, 0},
        {{"-fix", "-mpg2dat", "a", "b"}, "a.mpg", "b.dat", 9, 0, 0},
        {{"-fix", "-raw2mpg", "a", "b"}, "a.raw", "b.mpg", 4, 1, 0},
        {{"-fix", "-cue2mpg", "-cue2raw", "a", "b"}, "a.cue", "b.raw", 1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        parse(c.args);
        EXPECT_EQ(io.input_name, c.input);
        EXPECT_EQ(io.output_name, c.output);
        EXPECT_EQ(settings.mode, c.mode);
        EXPECT_EQ(settings.fix_blocks, c.fix);
        EXPECT_EQ(settings.remove_bumper, c.bumper);
    }
}

const std::string usage_text =
    "\nMivaro v1.5\n"
    "Usage  :  Mivaro [options] [-track##] inputfile outputfile\n\n"
    "Options:  -cue2raw       .cue --> .raw  (.cue to .raw/.bin track image)\n"
    "          -cue2dat       .cue --> .dat\n"
    "          -cue2mpg       .cue --> .mpg\n"
    "          -raw2dat       .raw --> .dat  (.raw/.bin track image to .dat)\n"
    "          -raw2mpg       .raw --> .mpg\n"
    "          -cif2mpg       .cif --> .mpg\n"
    "          -mpg2mpg       .mpg --> .mpg\n"
    "          -mpg2dat       .mpg --> .dat\n"
    "          -dat2mpg       .dat --> .mpg\n\n"
    "          -track##       extract only track ## from a .cue/bin\n"
    "          -r####         force read of ####-byte sectors\n"
    "          -w####         force write of ####-byte sectors\n"
    "          -nobumper      removes CD-i MPEG sequence bumper\n"
    "          -fix           fix broken MPEG blocks during .mpg output\n\n";

const std::string corrections0 = "\xfe 0 MPEG block correction(s) applied.\n\n";
const std::string fix_line = "- Fix broken MPEG blocks enabled.\n";

// -raw2mpg in out with no in.raw: the option summary, then main's closing
// lines after the conversion's message.
std::string raw2mpg_missing(const std::string& summary, bool closing)
{
    return banner + "RAW track image source --> in.raw\nMPEG destination --> out.mpg\n"
                    "Extraction method --> raw2mpg\n" + summary + "\n" +
           "in.raw could not be opened.\nFile could be missing.\n\n" + (closing ? corrections0 : "");
}

std::string too_large(const std::string& option, const char* which)
{
    return banner + option + ": the " + which + " sector size must be from 1 to 32705 bytes.\n";
}

TEST(CommandLine, WhatEachRunPrints)
{
    struct Case {
        std::vector<std::string> args;
        std::string out;
        int status;
    } cases[] = {
        {{}, usage_text, 0},
        {{"movie.cue"}, usage_text, 0},
        {{"-cue2mpg", "-fix", "-nobumper"}, usage_text, 0},
        {{"-track"}, usage_text, 0},
        {{"-track", "movie"}, usage_text, 0},
        {{"-r99999"}, usage_text, 0},
        // No conversion option: banner and closing lines only.
        {{"a", "b"}, banner, 0},
        {{"-fix", "a", "b"}, banner + corrections0, 0},
        {{"-nobumper", "a", "b"}, banner + corrections0, 0},
        {{"-fix", "a", "b", "-cue2raw"}, banner + corrections0, 0},
        {{"a", "b", "-cue2mpg", "-fix", "-nobumper", "-track3", "-r99999", "c"}, banner, 0},
        {{"-r32705", "-w32705", "a", "b"}, banner, 0},
        {{"-W-2324", "a", "b"}, too_large("-w-2324", "write"), 1},
        {{"-r4294967295", "a", "b"}, too_large("-r-1", "read"), 1},
        {{"-r99999", "-w99999", "a", "b"}, too_large("-r99999", "read"), 1},
        {{"-fix", "-cue2mpg", "-r40000", "a", "b"}, too_large("-r40000", "read"), 1},
        // The option summary shows what -track, -r and -w made of their values.
        {{"-raw2mpg", "in", "out"}, raw2mpg_missing("", false), 1},
        {{"-nobumper", "-raw2mpg", "in", "out"},
         raw2mpg_missing(fix_line + "- Remove CD-i bumper from file.\n", true), 1},
        {{"-TRACK05", "-w2324", "-R2352", "-fix", "-raw2mpg", "in", "out"},
         raw2mpg_missing(fix_line + "- User defined read sector size: 2352 bytes\n"
                                    "- User defined write sector size: 2324 bytes\n- Selected track #5\n",
                         true),
         1},
        {{"-track3", "-track7", "-r2048", "-rx", "-raw2mpg", "in", "out"},
         raw2mpg_missing("- Selected track #7\n", false), 1},
        {{"-trackall", "-r4000", "-r", "-w", "-track", "-raw2mpg", "in", "out"},
         raw2mpg_missing("- User defined read sector size: 4000 bytes\n- Selected track #0\n", false), 1},
        {{"-track65537", "-W100x", "-raw2mpg", "in", "out"},
         raw2mpg_missing("- User defined write sector size: 100 bytes\n- Selected track #1\n", false), 1},
        {{"-track-3", "-raw2mpg", "in", "out"}, raw2mpg_missing("- Selected track #-3\n", false), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        Scratch s;
        RunResult r = s.run(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        EXPECT_TRUE(s.files().empty());
    }
}

}  // namespace
