// One run of the binary for each single-file MPEG extraction, and the .dat
// signature test.
#include <gtest/gtest.h>

#include "stream_fixtures.h"

namespace {

Bytes stream3()
{
    return concat({padded_block(0), mpeg_block(1), mpeg_block(2)});
}

}  // namespace

TEST(MpegModes, EachSourceShapeGivesTheWholeStream)
{
    Bytes piece = slice(mpeg_block(3), 0, 100);
    std::string sizes = "- User defined read sector size: 2332 bytes\n- User defined write sector size: 2324 bytes\n";
    const std::tuple<std::string, Bytes, Bytes, std::string> cases[] = {
        {"-raw2mpg", raw_track(stream3()), stream3(), ""},
        {"-cif2mpg", cif_track(stream3()), stream3(), sizes},
        {"-mpg2mpg", concat({stream3(), piece}), concat({stream3(), piece}), "- User defined read sector size: 2324 bytes\n- User defined write sector size: 2324 bytes\n"},
        {"-dat2mpg", dat_file(raw_track(stream3())), stream3(), ""},
    };
    for (const auto& [mode, input, want, summary] : cases) {
        Scratch s;
        s.write("in.x", input);
        RunResult r = s.run({mode, "in.x", "out.mpg"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, banner + expect::header(mode, "in.x", "out.mpg", summary) + expect::searching + expect::scan0 +
                             expect::writing + expect::copy0 + expect::completed("out.mpg"));
        EXPECT_TRUE(same_bytes(s.read("out.mpg"), want)) << mode;
    }
}

// Only "RIFF" is checked; an empty output stays behind either way.
TEST(MpegModes, DatSignature)
{
    const std::pair<Bytes, std::string> cases[] = {
        {{'R', 'I', 'F', 'F'}, "\n\nCould not find MPEG stream in DAT file.\n"},
        {{'R', 'I', 'F'}, "\nThis file is not a DAT file or does not have the correct DAT signature.\n"},
        {concat({{'R', 'I', 'F', 'X'}, raw_track(stream3())}),
         "\nThis file is not a DAT file or does not have the correct DAT signature.\n"},
    };
    for (const auto& [input, message] : cases) {
        Scratch s;
        s.write("in.dat", input);
        RunResult r = s.run({"-dat2mpg", "in.dat", "out.mpg"});
        EXPECT_EQ(r.status, 1);
        std::string head = banner + expect::header("-dat2mpg", "in.dat", "out.mpg");
        EXPECT_EQ(r.out, head + (input.size() == 4 ? expect::searching : "") + message);
        EXPECT_FALSE(s.exists("out.mpg"));
    }
}
