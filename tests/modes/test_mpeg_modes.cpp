#include <gtest/gtest.h>

#include "stream_fixtures.h"

namespace {

// The copy starts at the first pack header wherever it lies and writes 2324
// bytes per sector read; a last sector that cannot be read whole is left out.
TEST(MpegExtraction, FromEachSourceShape)
{
    const Bytes stream = mpeg_stream(5);
    const std::string own_sizes = expect::sizes(2324, 2324);
    struct Case {
        const char* mode;
        Bytes input;
        std::string summary;
        std::size_t blocks;
    };
    const Case cases[] = {
        {"-raw2mpg", concat({raw_track(zeros(2 * block_size)), raw_track(stream, 2)}), "", 4},  // at 2 * 2352 + 24
        {"-cif2mpg", cif_track(stream), expect::sizes(2332, 2324), 4},                         // at 8
        {"-mpg2mpg", concat({stream, filler(2323)}), own_sizes, 5},                              // at 0
        {"-mpg2mpg", concat({filler(4997), stream}), own_sizes, 5},  // cut by the first scan block's end
        {"-dat2mpg", dat_file(raw_track(stream)), "", 4},            // at 68
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + " " + std::to_string(c.input.size()));
        check_run({c.mode, "in.x", "out.mpg"}, "in.x", c.input, 0,
                  expect::converted(c.mode, "in.x", "out.mpg", c.summary), "out.mpg",
                  slice(stream, 0, c.blocks * block_size));
    }
}

// Failures of the single-file modes; the -fix runs also print the count.
TEST(SingleFileModes, FailuresSayWhatWentWrong)
{
    const Bytes no_stream = filler(20000);
    const Bytes stream = mpeg_stream(5);
    const Bytes riff_no_stream = dat_file(no_stream);
    const Bytes short_stream = mpeg_stream(2);  // 4648 bytes: no whole scan block
    const Bytes pack_near_end = with_bytes(filler(10051), 7700, {0x00, 0x00, 0x01, 0xBA, 0x21});
    auto not_found = [](const char* what) { return "\n\nCould not find MPEG stream in " + std::string(what) + ".\n"; };
    const std::string scanned = expect::searching + expect::scan0;
    struct Case {
        std::vector<std::string> options;
        const Bytes* input;  // nullptr: no such file
        std::string output;
        std::string after_header;
        std::optional<Bytes> want;
    };
    const Case cases[] = {
        {{"-raw2mpg", "-fix"}, nullptr, "out.mpg", expect::open_failed("in.x"), {}},
        {{"-dat2mpg"}, nullptr, "out.mpg", expect::open_failed("in.x"), {}},
        {{"-raw2dat"}, nullptr, "out.dat", expect::open_failed("in.x"), {}},
        {{"-mpg2dat"}, nullptr, "out.dat", expect::open_failed("in.x"), {}},
        {{"-raw2mpg"}, &pack_near_end, "out.mpg", scanned + not_found("raw image file"), {}},
        {{"-dat2mpg"}, &riff_no_stream, "out.mpg", scanned + not_found("DAT file"), Bytes{}},
        {{"-raw2dat"}, &no_stream, "out.dat", scanned + not_found("raw image file"), {}},
        {{"-mpg2dat"}, &no_stream, "out.dat", scanned + not_found("MPEG file"), {}},
        {{"-mpg2dat"}, &short_stream, "out.dat", expect::searching + not_found("MPEG file"), {}},
        {{"-raw2mpg", "-fix"}, &stream, "no/out.mpg", scanned + "no/out.mpg could not be written.\n", {}},
        {{"-dat2mpg"}, &stream, "no/out.mpg", "no/out.mpg could not be written.\n", {}},
        {{"-mpg2dat"}, &stream, "no/out.dat", scanned + "no/out.dat could not be written.\n", {}},
    };
    for (const Case& c : cases) {
        bool fix = c.options.size() > 1;
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"in.x", c.output});
        SCOPED_TRACE(testing::PrintToString(args) + (c.input ? "" : " without input"));
        std::string text = expect::header(c.options[0], "in.x", c.output, fix ? expect::fix_line : "") +
                           c.after_header + (fix ? expect::corrections(0) : "");
        check_run(args, c.input ? "in.x" : "other", c.input ? *c.input : Bytes{}, 1, text, c.output, c.want);
    }
}

// Only the first four bytes are looked at; the output exists before they are.
TEST(Dat2mpg, OnlyTheFirstFourBytesAreTheSignature)
{
    const Bytes stream = mpeg_stream(5);
    const std::string refused = "\nThis file is not a DAT file or does not have the correct DAT signature.\n";
    const std::string not_found = "\n\nCould not find MPEG stream in DAT file.\n";
    struct Case {
        Bytes input;
        std::string after_header;
        Bytes want;
    };
    Bytes every_2352;  // from the pack at offset 4, the first 2324 bytes of each 2352
    for (std::size_t at = 0; at + 2352 <= stream.size(); at += 2352)
        every_2352 = concat({every_2352, slice(stream, at, 2324)});
    const Case cases[] = {
        {{}, refused, {}},
        {{'R', 'I', 'F'}, refused, {}},
        {concat({{'r', 'i', 'f', 'f'}, stream}), refused, {}},
        {concat({{'R', 'I', 'F', 'X'}, stream}), refused, {}},
        {concat({{'R', 'I', 'F', 'F'}, filler(4995)}), expect::searching + not_found, {}},
        {concat({{'R', 'I', 'F', 'F'}, stream}),
         expect::searching + expect::scan0 + expect::writing + expect::copy0 + expect::completed("out.mpg"),
         every_2352},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.size());
        check_run({"-dat2mpg", "in", "out"}, "in.dat", c.input, c.want.empty() ? 1 : 0,
                  expect::header("-dat2mpg", "in.dat", "out.mpg") + c.after_header, "out.mpg", c.want);
    }
}

}  // namespace
