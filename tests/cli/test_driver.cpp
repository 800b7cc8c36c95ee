#include <gtest/gtest.h>

#include "cue_fixtures.h"
#include "harness.h"

namespace {

const std::string banner_line = "\nMivaro v1.5\n";

const std::string usage_text =
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

const std::string corrections_none = "\xfe 0 MPEG block correction(s) applied.\n\n";

TEST(Driver, UsageWhenTheOutputNameNeverComes)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"movie.cue"}, {"-cue2mpg", "-fix", "-nobumper"}, {"-track"}, {"-track", "movie"}, {"-r9999999"}}) {
        SCOPED_TRACE(testing::PrintToString(args));
        Scratch s;
        RunResult r = s.run(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, banner_line + usage_text);
        EXPECT_TRUE(s.files().empty());
    }
}

TEST(Driver, NoConversionOptionConvertsNothing)
{
    struct Case {
        std::vector<std::string> args;
        std::string tail;
    } cases[] = {
        {{"a", "b"}, ""},
        {{"-fix", "a", "b"}, corrections_none},
        {{"-nobumper", "a", "b"}, corrections_none},
        {{"-track3", "-r2352", "-w2324", "a", "b"}, ""},
        {{"a", "b", "-cue2mpg", "-fix"}, ""},
        {{"-fix", "a", "b", "-cue2raw"}, corrections_none},
        {{"-r32705", "-w32705", "a", "b"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        Scratch s;
        RunResult r = s.run(c.args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, banner + c.tail);
        EXPECT_TRUE(s.files().empty());
    }
}

TEST(Driver, SectorSizesAbove32705AreRefusedBeforeAnything)
{
    struct Case {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"-r32706"}, "-r32706: the read sector size must be from 1 to 32705 bytes.\n"},
        {{"-w40000"}, "-w40000: the write sector size must be from 1 to 32705 bytes.\n"},
        {{"-r-1"}, "-r-1: the read sector size must be from 1 to 32705 bytes.\n"},
        {{"-W-2324"}, "-w-2324: the write sector size must be from 1 to 32705 bytes.\n"},
        {{"-r4294967295"}, "-r-1: the read sector size must be from 1 to 32705 bytes.\n"},
        {{"-r99999", "-w99999"}, "-r99999: the read sector size must be from 1 to 32705 bytes.\n"},
        {{"-fix", "-nobumper", "-w32706"}, "-w32706: the write sector size must be from 1 to 32705 bytes.\n"},
        {{"-cue2mpg", "-r40000"}, "-r40000: the read sector size must be from 1 to 32705 bytes.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        Scratch s;
        s.write_text("in.cue", vcd_sheet("in.bin", {0, 4}));
        s.write("in.bin", data_sectors(8));
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"in", "out"});
        RunResult r = s.run(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, banner + c.message);
        EXPECT_EQ(s.files(), (std::vector<std::string>{"in.bin", "in.cue"}));
    }
}

// A conversion whose input is missing still shows its option summary, and
// main's closing lines follow its message.
TEST(Driver, OptionSummaryAndClosingLines)
{
    const std::string head = "RAW track image source --> in.raw\nMPEG destination --> out.mpg\n"
                             "Extraction method --> raw2mpg\n";
    const std::string missing = "in.raw could not be opened.\nFile could be missing.\n\n";
    struct Case {
        std::vector<std::string> options;
        std::string summary;
        std::string closing;
    } cases[] = {
        {{}, "\n", ""},
        {{"-fix"}, "- Fix broken MPEG blocks enabled.\n\n", corrections_none},
        {{"-nobumper"}, "- Fix broken MPEG blocks enabled.\n- Remove CD-i bumper from file.\n\n", corrections_none},
        {{"-track7", "-w2324", "-r2352", "-nobumper", "-FIX"},
         "- Fix broken MPEG blocks enabled.\n- Remove CD-i bumper from file.\n"
         "- User defined read sector size: 2352 bytes\n- User defined write sector size: 2324 bytes\n"
         "- Selected track #7\n\n",
         corrections_none},
        {{"-track-3"}, "- Selected track #-3\n\n", ""},
        {{"-trackall", "-r0"}, "- Selected track #0\n\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.options));
        Scratch s;
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"-raw2mpg", "in", "out"});
        RunResult r = s.run(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, banner + head + c.summary + missing + c.closing);
        EXPECT_TRUE(s.files().empty());
    }
}

}  // namespace
