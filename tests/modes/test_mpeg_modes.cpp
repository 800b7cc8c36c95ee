#include <gtest/gtest.h>

#include "fixtures.h"
#include "harness.h"
#include "stream_fixtures.h"

namespace {

const std::string searching = "\xfe                 -> searching \r";
const std::string writing = "\xfe                 -> writing...\r";

TEST(Raw2mpg, ExtractsUserDataFromFirstPack)
{
    Scratch s;
    Bytes stream = mpeg_stream(20);
    Bytes track = concat({raw_track(zeros(block_size * 2)), raw_track(stream, 2)});
    s.write("track.raw", track);
    RunResult r = s.run({"-raw2mpg", "track", "out"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, banner + "RAW track image source --> track.raw\nMPEG destination --> out.mpg\n"
                              "Extraction method --> raw2mpg\n\n" +
                         searching + "\xfe 0%\r" + writing + "\xfe 0% [00:00:00] \r" +
                         "\n\xfe completed. out.mpg written.\n");
    // The last sector cannot be read whole from 24 bytes into it.
    EXPECT_TRUE(same_bytes(s.read("out.mpg"), slice(stream, 0, 19 * block_size)));
}

const std::string own_sizes_2332 = expect::read_size_line(2332) + expect::write_size_line(2324);
const std::string own_sizes_2324 = expect::read_size_line(2324) + expect::write_size_line(2324);

// cif2mpg, mpg2mpg and dat2mpg set their own sizes whatever -r and -w say.
TEST(MpegExtraction, EachSourceShapeGivesTheStream)
{
    Bytes stream = mpeg_stream(5);
    struct Case {
        std::vector<std::string> options;
        const char* method;
        Bytes input;
        std::string summary;
        std::size_t blocks;
    };
    const Case cases[] = {
        {{"-cif2mpg"}, "raw2mpg", cif_track(stream), own_sizes_2332, 4},
        {{"-r2352", "-w100", "-cif2mpg"}, "raw2mpg", cif_track(stream), own_sizes_2332, 4},
        {{"-mpg2mpg"}, "raw2mpg", concat({stream, filler(2323)}), own_sizes_2324, 5},
        {{"-mpg2mpg", "-r9000"}, "raw2mpg", stream, own_sizes_2324, 5},
        {{"-dat2mpg"}, "dat2mpg", dat_file(raw_track(stream)), "", 4},
        {{"-dat2mpg", "-r100", "-w5000"}, "dat2mpg", dat_file(concat({raw_track(stream), zeros(2352)})),
         expect::read_size_line(100) + expect::write_size_line(5000), 5},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"in.x", "out.mpg"});
        SCOPED_TRACE(args[0] + " " + std::to_string(c.input.size()));
        Scratch s;
        s.write("in.x", c.input);
        RunResult r = s.run(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, banner + expect::header(c.method, "in.x", "out.mpg", c.summary) + expect::searching +
                             expect::scan0 + expect::writing + expect::copy0 + expect::completed("out.mpg"));
        EXPECT_TRUE(same_bytes(s.read("out.mpg"), slice(stream, 0, c.blocks * block_size)));
    }
}

TEST(MpegExtraction, FailuresSayWhatWentWrong)
{
    const Bytes no_stream = filler(20000);
    const Bytes raw = raw_track(mpeg_stream(5));
    const Bytes riff_no_stream = dat_file(no_stream);
    const std::string raw_not_found = "\n\nCould not find MPEG stream in raw image file.\n";
    const std::string dat_not_found = "\n\nCould not find MPEG stream in DAT file.\n";
    struct Case {
        const char* name;
        std::vector<std::string> options;
        const char* method;
        std::string summary;
        const Bytes* input;  // nullptr: no such file
        std::string output;
        std::string after_header;
        bool output_exists;
    };
    const Case cases[] = {
        {"raw2mpg, no input", {"-raw2mpg", "-fix"}, "raw2mpg", expect::fix_line, nullptr, "out.mpg",
         expect::open_failed("in.x") + expect::corrections(0), false},
        {"cif2mpg, no input", {"-cif2mpg"}, "raw2mpg", own_sizes_2332, nullptr, "out.mpg", expect::open_failed("in.x"),
         false},
        {"dat2mpg, no input", {"-dat2mpg"}, "dat2mpg", "", nullptr, "out.mpg", expect::open_failed("in.x"), false},
        {"raw2mpg, no stream", {"-raw2mpg", "-fix"}, "raw2mpg", expect::fix_line, &no_stream, "out.mpg",
         expect::searching + expect::scan0 + raw_not_found, false},
        {"mpg2mpg, no stream", {"-mpg2mpg"}, "raw2mpg", own_sizes_2324, &no_stream, "out.mpg",
         expect::searching + expect::scan0 + raw_not_found, false},
        {"dat2mpg, no stream", {"-dat2mpg"}, "dat2mpg", "", &riff_no_stream, "out.mpg",
         expect::searching + expect::scan0 + dat_not_found, true},
        {"raw2mpg, output folder missing", {"-raw2mpg", "-fix"}, "raw2mpg", expect::fix_line, &raw, "no/out.mpg",
         expect::searching + expect::scan0 + "no/out.mpg could not be written.\n" + expect::corrections(0), false},
        {"dat2mpg, output folder missing", {"-dat2mpg"}, "dat2mpg", "", &raw, "no/out.mpg",
         "no/out.mpg could not be written.\n", false},
        {"raw2mpg, write larger than read", {"-raw2mpg", "-fix", "-r2048"}, "raw2mpg",
         expect::fix_line + expect::read_size_line(2048), &raw, "out.mpg",
         "Write size of 2324 bytes is larger than the read size of 2048 bytes: bytes never read would be "
         "written.\n",
         false},
        {"raw2mpg, -w above the sector", {"-raw2mpg", "-w2400"}, "raw2mpg", expect::write_size_line(2400), &raw,
         "out.mpg",
         "Write size of 2400 bytes is larger than the read size of 2352 bytes: bytes never read would be "
         "written.\n",
         false},
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
        EXPECT_EQ(s.exists(c.output), c.output_exists);
        if (c.output_exists) {
            EXPECT_EQ(s.size(c.output), 0u);
        }
    }
}

TEST(Dat2mpg, OnlyTheFirstFourBytesAreTheSignature)
{
    const Bytes stream = mpeg_stream(5);
    const std::string refused = "\nThis file is not a DAT file or does not have the correct DAT signature.\n";
    struct Case {
        const char* name;
        Bytes input;
        std::string after_header;
        int status;
    };
    const Case cases[] = {
        {"empty", {}, refused, 1},
        {"three bytes RIF", {'R', 'I', 'F'}, refused, 1},
        {"RIFX", concat({{'R', 'I', 'F', 'X'}, stream}), refused, 1},
        {"lower case riff", concat({{'r', 'i', 'f', 'f'}, stream}), refused, 1},
        {"a bare MPEG stream", stream, refused, 1},
        {"RIFF alone", {'R', 'I', 'F', 'F'}, expect::searching + "\n\nCould not find MPEG stream in DAT file.\n", 1},
        {"RIFF in 4999 bytes", concat({{'R', 'I', 'F', 'F'}, filler(4995)}),
         expect::searching + "\n\nCould not find MPEG stream in DAT file.\n", 1},
        {"RIFF in 5000 bytes", concat({{'R', 'I', 'F', 'F'}, filler(4996)}),
         expect::searching + expect::scan0 + "\n\nCould not find MPEG stream in DAT file.\n", 1},
        // Nothing but the signature is looked at.
        {"RIFF then a stream", concat({{'R', 'I', 'F', 'F'}, stream}),
         expect::searching + expect::scan0 + expect::writing + expect::copy0 + expect::completed("out.mpg"), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scratch s;
        s.write("in.dat", c.input);
        RunResult r = s.run({"-dat2mpg", "in", "out"});
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, banner + expect::header("dat2mpg", "in.dat", "out.mpg") + c.after_header);
        // The output is created before the signature is read. From the pack
        // at offset 4, 2352-byte steps: the first 2324 bytes of each.
        Bytes want;
        for (std::size_t j = 0; c.status == 0 && j < 4; ++j)
            want = concat({want, slice(stream, j * 2352, 2324)});
        EXPECT_TRUE(same_bytes(s.read("out.mpg"), want));
    }
}

}  // namespace
