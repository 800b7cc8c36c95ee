#include <gtest/gtest.h>

#include "engine/corrections.h"
#include "fixtures.h"
#include "harness.h"
#include "stream_fixtures.h"

namespace {

const Bytes end_code_bytes = {0x00, 0x00, 0x01, 0xB9};
const Bytes sequence(initial_sequence.begin(), initial_sequence.end());

TEST(InitialSequence, EveryPackAndEndCodeAtItsOffset)
{
    struct Piece {
        std::size_t at;
        Bytes bytes;
    };
    const Piece pieces[] = {
        {0, {0x00, 0x00, 0x01, 0xBA, 0x21, 0x00, 0x01, 0x00, 0x09, 0x80, 0x1B, 0x91}},
        {12, {0x00, 0x00, 0x01, 0xBB, 0x00, 0x09, 0x80, 0x1B, 0x91, 0x01, 0xE1, 0xFF, 0xE0, 0xE0, 0x2E}},
        {27, {0x00, 0x00, 0x01, 0xBE, 0x08, 0xF3, 0x0F}},
        {2324, {0x00, 0x00, 0x01, 0xBA, 0x21, 0x00, 0x01, 0x09, 0x69, 0x80, 0x1B, 0x91}},
        {2336, {0x00, 0x00, 0x01, 0xBB, 0x00, 0x09, 0x80, 0x1B, 0x91, 0x05, 0xE0, 0xFF, 0xC0, 0xC0, 0x20}},
        {2351, {0x00, 0x00, 0x01, 0xBE, 0x08, 0xDF, 0x0F}},
        {4628, {0x00, 0x00, 0x01, 0xBA, 0x21, 0x00, 0x01, 0x12, 0xC9, 0x80, 0x1B, 0x91}},
        {4640, {0x00, 0x00, 0x01, 0xBE, 0x08, 0xFE, 0xFF, 0x0F}},
        {6948, {0x00, 0x00, 0x01, 0xB9}},
        {6952, {0x00, 0x00, 0x01, 0xBA, 0x21, 0x00, 0x01, 0x1C, 0x29, 0x80, 0x1B, 0x91}},
        {6964, {0x00, 0x00, 0x01, 0xBE, 0x08, 0xEA, 0xFF, 0x0F}},
        {9252, {0x00, 0x00, 0x01, 0xB9}},
    };
    // Padding runs between the pieces; the last 40 bytes are zero.
    Bytes want(9296, 0xFF);
    std::fill(want.begin() + 9256, want.end(), 0x00);
    for (const Piece& p : pieces) {
        std::copy(p.bytes.begin(), p.bytes.end(), want.begin() + static_cast<std::ptrdiff_t>(p.at));
        EXPECT_TRUE(same_bytes(slice(sequence, p.at, p.bytes.size()), p.bytes)) << "at " << p.at;
    }
    EXPECT_TRUE(same_bytes(sequence, want));
}

const std::string bumper_summary = expect::fix_line + expect::bumper_line + expect::read_size_line(2324) +
                                   expect::write_size_line(2324);

Bytes padded_movie(std::size_t blocks, unsigned first = 0)
{
    std::vector<Bytes> b;
    for (std::size_t i = 0; i < blocks; ++i)
        b.push_back(padded_block(first + static_cast<unsigned>(i)));
    return join_blocks(b);
}

TEST(BumperPrescan, CopyStartsAfterTheLastEndCodeWithAPackAfterIt)
{
    Bytes movie = padded_movie(6);
    Bytes bumper = padded_movie(2, 50);
    // The movie's own last bytes are its end code; empty blocks follow.
    Bytes closed_movie = with_bytes(movie, movie.size() - 4, {0x00, 0x00, 0x01, 0xB9});
    // A pack header 14 bytes into the last block; before it an end code.
    Bytes late = with_bytes(padded_block(7), 10, {0x00, 0x00, 0x01, 0xB9, 0x00, 0x00, 0x01, 0xBA, 0x21});
    struct Case {
        const char* name;
        Bytes input;
        Bytes want;
        unsigned corrections;
    };
    const Case cases[] = {
        {"one end code", concat({bumper, end_code_bytes, movie}), movie, 0},
        {"two end codes", concat({bumper, end_code_bytes, padded_movie(1, 60), end_code_bytes, movie}), movie, 0},
        {"no end code", movie, movie, 0},
        {"end code 2000 bytes before the end", with_bytes(movie, movie.size() - 2000, {0x00, 0x00, 0x01, 0xB9}),
         with_bytes(movie, movie.size() - 2000, {0x00, 0x00, 0x01, 0xB9}), 0},
        {"the stream's own final end code", concat({bumper, end_code_bytes, closed_movie, zeros(3 * 2324)}),
         closed_movie, 1},
        {"entry too close to the end to scan", concat({filler(17000), late, filler(1000)}), late, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scratch s;
        s.write("in.mpg", c.input);
        RunResult r = s.run({"-mpg2mpg", "-nobumper", "in.mpg", "out.mpg"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, banner + expect::header("raw2mpg", "in.mpg", "out.mpg", bumper_summary) +
                             expect::searching + expect::scan0 + expect::writing + expect::prescan + expect::copy0 +
                             expect::completed("out.mpg") + expect::corrections(c.corrections));
        EXPECT_TRUE(same_bytes(s.read("out.mpg"), c.want));
    }
}

// Around the 15 MiB cap: a 16 MiB stream whose block `block` ends in an end
// code; the next block's pack header follows it.
TEST(BumperPrescan, OnlyTheFirstFifteenMiBAreSearched)
{
    static const Bytes base = padded_movie(7220);  // 16.0 MiB and a bit
    struct Case {
        const char* name;
        std::size_t block;
        bool taken;
    };
    const Case cases[] = {
        {"under the cap", 4511, true},                               // ends at 10 MiB + 124
        {"after the last whole block under the cap", 6766, false},  // 4125 bytes before it
        {"beyond the cap", 6768, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::size_t end_at = (c.block + 1) * 2324 - 4;
        Bytes input = with_bytes(base, end_at, {0x00, 0x00, 0x01, 0xB9});
        std::size_t start = c.taken ? end_at + 4 : 0;
        std::size_t blocks = (input.size() - start) / 2324;
        Scratch s;
        s.write("in.mpg", input);
        RunResult r = s.run({"-mpg2mpg", "-nobumper", "in.mpg", "out.mpg"});
        EXPECT_EQ(r.status, 0);
        std::string progress;
        int last = -1;
        for (std::size_t k = 1; k <= blocks; ++k) {
            int percent = static_cast<int>((((start + k * 2324) >> 20) * 100) / 16);
            if (percent != last)
                progress += "\xfe " + std::to_string(percent) + "% [hh:mm:ss] \r";
            last = percent;
        }
        EXPECT_EQ(mask_clock(r.out), banner + expect::header("raw2mpg", "in.mpg", "out.mpg", bumper_summary) +
                                         expect::searching + expect::scan0 + expect::writing + expect::prescan +
                                         progress + expect::completed("out.mpg") + expect::corrections(0));
        EXPECT_TRUE(same_bytes(s.read("out.mpg"), slice(input, start, blocks * 2324)));
    }
}

TEST(InitialSequenceCorrection, WrittenWhenBytes48To63AreNotAllFF)
{
    Bytes only_48_to_63 = mpeg_block(0);
    std::fill(only_48_to_63.begin() + 48, only_48_to_63.begin() + 64, 0xFF);
    struct Case {
        const char* name;
        Bytes first;
        bool applied;
    };
    const Case cases[] = {
        {"padded pack", padded_block(0), false},
        {"FF at 48 to 63 only", only_48_to_63, false},
        {"byte 63 differs", with_bytes(padded_block(0), 63, {0xFE}), true},
        {"byte 48 differs", with_bytes(padded_block(0), 48, {0x00}), true},
        {"no padding at all", mpeg_block(0), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes rest = mpeg_stream(3, 1);
        Scratch s;
        s.write("in.mpg", concat({c.first, rest}));
        RunResult r = s.run({"-mpg2mpg", "-fix", "in.mpg", "out.mpg"});
        EXPECT_EQ(r.status, 0);
        const std::string summary = expect::fix_line + expect::read_size_line(2324) + expect::write_size_line(2324);
        EXPECT_EQ(r.out, banner + expect::header("raw2mpg", "in.mpg", "out.mpg", summary) + expect::searching +
                             expect::scan0 + expect::writing + expect::copy0 + expect::completed("out.mpg") +
                             (c.applied ? expect::sequence_applied : "") + expect::corrections(0));
        Bytes copied = concat({c.first, rest});
        EXPECT_TRUE(same_bytes(s.read("out.mpg"), c.applied ? concat({sequence, copied}) : copied));
    }
}

TEST(InitialSequenceCorrection, ThenTheChunkFoundByResynchronisation)
{
    // After the bumper's end code comes junk, so the first chunk lacks the
    // padding and is broken; the re-synchronised chunk follows the sequence.
    Bytes junk = with_bytes(filler(500), 2, {0x55, 0x55, 0x55});
    Bytes movie = mpeg_stream(8, 20);
    Scratch s;
    s.write("in.mpg", concat({padded_movie(2, 50), end_code_bytes, junk, movie}));
    RunResult r = s.run({"-mpg2mpg", "-nobumper", "in.mpg", "out.mpg"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, banner + expect::header("raw2mpg", "in.mpg", "out.mpg", bumper_summary) + expect::searching +
                         expect::scan0 + expect::writing + expect::prescan + expect::scan0 + expect::copy0 +
                         expect::completed("out.mpg") + expect::sequence_applied + expect::corrections(1));
    // The broken chunk took the junk and the start of the movie's first block.
    EXPECT_TRUE(same_bytes(s.read("out.mpg"), concat({sequence, slice(movie, block_size, 7 * block_size)})));
}

TEST(InitialSequenceCorrection, FramedAsFourSectorsInADat)
{
    Bytes stream = mpeg_stream(4);
    Scratch s;
    s.write("in.mpg", stream);
    RunResult r = s.run({"-mpg2dat", "-fix", "in.mpg", "out.dat"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, banner + expect::header("mpg2dat", "in.mpg", "out.dat", expect::fix_line) + expect::searching +
                         expect::scan0 + expect::writing + expect::copy0 + expect::completed("out.dat") +
                         expect::sequence_applied + expect::corrections(0));
    EXPECT_TRUE(same_bytes(s.read("out.dat"), dat_from_blocks(concat({sequence, stream}))));
}

TEST(BumperPrescan, AlsoBeforeTheDatLeadIn)
{
    Bytes movie = padded_movie(4);
    Scratch s;
    s.write("in.mpg", concat({padded_movie(2, 50), end_code_bytes, movie}));
    RunResult r = s.run({"-mpg2dat", "-nobumper", "in.mpg", "out.dat"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, banner + expect::header("mpg2dat", "in.mpg", "out.dat", expect::fix_line + expect::bumper_line) +
                         expect::searching + expect::scan0 + expect::writing + expect::prescan + expect::copy0 +
                         expect::completed("out.dat") + expect::corrections(0));
    EXPECT_TRUE(same_bytes(s.read("out.dat"), dat_from_blocks(movie)));
}

}  // namespace
