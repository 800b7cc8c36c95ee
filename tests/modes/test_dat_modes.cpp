#include <gtest/gtest.h>

#include "fixtures.h"
#include "harness.h"
#include "stream_fixtures.h"

namespace {

TEST(Raw2dat, WrapsEveryWholeSectorOfTheImage)
{
    Bytes stream = mpeg_stream(5);
    struct Case {
        const char* name;
        Bytes image;
        std::size_t extra;  // bytes after the last whole sector
    };
    const Case cases[] = {
        {"pack header 24 bytes in", raw_track(stream), 0},
        {"part of a sector after the last", raw_track(stream), 2351},
        // The scan only proves there is MPEG; sectors before it are kept.
        {"data sectors first", concat({raw_track(zeros(2 * block_size)), raw_track(stream, 2)}), 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scratch s;
        s.write("in.raw", concat({c.image, filler(c.extra)}));
        RunResult r = s.run({"-raw2dat", "in", "out"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, banner + expect::header("raw2dat", "in.raw", "out.dat") + expect::searching +
                             expect::scan0 + expect::writing + expect::completed("out.dat"));
        EXPECT_TRUE(same_bytes(s.read("out.dat"), dat_file(c.image)));
    }
}

TEST(Mpg2dat, OwnSizesWhateverTheCommandLineSays)
{
    Bytes stream = mpeg_stream(3);
    Scratch s;
    s.write("in.mpg", stream);
    RunResult r = s.run({"-r100", "-w9000", "-mpg2dat", "in.mpg", "out.dat"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, banner +
                         expect::header("mpg2dat", "in.mpg", "out.dat",
                                        expect::read_size_line(100) + expect::write_size_line(9000)) +
                         expect::searching + expect::scan0 + expect::writing + expect::copy0 +
                         expect::completed("out.dat"));
    EXPECT_TRUE(same_bytes(s.read("out.dat"), dat_from_blocks(stream)));
}

TEST(DatBuilding, FailuresSayWhatWentWrong)
{
    const Bytes no_stream = filler(20000);
    const Bytes raw = raw_track(mpeg_stream(5));
    const Bytes stream = mpeg_stream(4);
    const Bytes short_stream = mpeg_stream(2);  // 4648 bytes: no whole scan block
    struct Case {
        const char* name;
        std::vector<std::string> options;
        const char* method;
        std::string summary;
        const Bytes* input;  // nullptr: no such file
        std::string output;
        std::string after_header;
    };
    const Case cases[] = {
        {"raw2dat, no input", {"-raw2dat"}, "raw2dat", "", nullptr, "out.dat", expect::open_failed("in.x")},
        {"mpg2dat, no input", {"-mpg2dat", "-fix"}, "mpg2dat", expect::fix_line, nullptr, "out.dat",
         expect::open_failed("in.x") + expect::corrections(0)},
        {"raw2dat, no stream", {"-raw2dat"}, "raw2dat", "", &no_stream, "out.dat",
         expect::searching + expect::scan0 + "\n\nCould not find MPEG stream in raw image file.\n"},
        {"mpg2dat, no stream", {"-mpg2dat"}, "mpg2dat", "", &no_stream, "out.dat",
         expect::searching + expect::scan0 + "\n\nCould not find MPEG stream in MPEG file.\n"},
        {"mpg2dat, stream shorter than a scan block", {"-mpg2dat"}, "mpg2dat", "", &short_stream, "out.dat",
         expect::searching + "\n\nCould not find MPEG stream in MPEG file.\n"},
        {"raw2dat, output folder missing", {"-raw2dat"}, "raw2dat", "", &raw, "no/out.dat",
         expect::searching + expect::scan0 + "no/out.dat could not be written.\n"},
        {"mpg2dat, output folder missing", {"-mpg2dat", "-fix"}, "mpg2dat", expect::fix_line, &stream, "no/out.dat",
         expect::searching + expect::scan0 + "no/out.dat could not be written.\n" + expect::corrections(0)},
        {"raw2dat, write larger than the chunk", {"-raw2dat", "-w31000"}, "raw2dat", expect::write_size_line(31000),
         &raw, "out.dat",
         "Write size of 31000 bytes is larger than the read size of 30576 bytes: bytes never read would be "
         "written.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scratch s;
        if (c.input)
            s.write("in.x", *c.input);
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"in.x", c.output});
        RunResult r = s.run(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, banner + expect::header(c.method, "in.x", c.output, c.summary) + c.after_header);
        EXPECT_FALSE(s.exists(c.output));
    }
}

}  // namespace
