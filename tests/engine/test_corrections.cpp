#include <gtest/gtest.h>

#include "engine/corrections.h"
#include "stream_fixtures.h"

namespace {

const Bytes end_code = {0x00, 0x00, 0x01, 0xB9};
const Bytes sequence(initial_sequence.begin(), initial_sequence.end());

// Every start code of the four padding packs, in order, and the zero tail.
TEST(InitialSequence, StartCodesWhereThePacksAndEndCodesStand)
{
    const std::vector<std::pair<std::size_t, std::uint8_t>> want = {
        {0, 0xBA},    {12, 0xBB},   {27, 0xBE},   {2324, 0xBA}, {2336, 0xBB}, {2351, 0xBE},
        {4628, 0xBA}, {4640, 0xBE}, {6948, 0xB9}, {6952, 0xBA}, {6964, 0xBE}, {9252, 0xB9},
    };
    std::vector<std::pair<std::size_t, std::uint8_t>> got;
    for (std::size_t i = 0; i + 3 < sequence.size(); ++i)
        if (sequence[i] == 0x00 && sequence[i + 1] == 0x00 && sequence[i + 2] == 0x01)
            got.emplace_back(i, sequence[i + 3]);
    EXPECT_EQ(got, want);
    EXPECT_TRUE(same_bytes(slice(sequence, 9256, 40), zeros(40)));
}

const std::string bumper_summary = expect::fix_line + expect::bumper_line + expect::sizes(2324, 2324);

void check_nobumper(const Bytes& input, const std::string& copy, const std::string& after, const Bytes& want)
{
    std::string text = expect::converted("-mpg2mpg", "in.mpg", "out.mpg", bumper_summary, expect::prescan + copy);
    check_run({"-mpg2mpg", "-nobumper", "in.mpg", "out.mpg"}, "in.mpg", input, 0, text + after, "out.mpg", want);
}

// The copy starts after the last end code that has a pack start code after
// it, with a whole scan block and a sector of room before the scan end.
TEST(BumperPrescan, CopyStartsAfterTheLastEndCodeWithAPackAfterIt)
{
    Bytes movie = padded_stream(6);
    Bytes bumper = padded_stream(2, 50);
    Bytes closed_movie = with_bytes(movie, movie.size() - 4, {0x00, 0x00, 0x01, 0xB9});
    // 2351 bytes before the scan end, inside the last whole scan block.
    Bytes near_end = with_bytes(concat({movie, filler(1046)}), 12639, {0x00, 0x00, 0x01, 0xB9});
    // A pack header 14 bytes into the block; before it an end code.
    Bytes late = with_bytes(padded_block(7), 10, {0x00, 0x00, 0x01, 0xB9, 0x00, 0x00, 0x01, 0xBA, 0x21});
    struct Case {
        const char* name;
        Bytes input;
        Bytes want;
        unsigned corrections;
    };
    const Case cases[] = {
        {"one end code", concat({bumper, end_code, movie}), movie, 0},
        {"two end codes", concat({bumper, end_code, padded_stream(1, 60), end_code, movie}), movie, 0},
        {"end code without a sector of room", near_end, slice(near_end, 0, movie.size()), 0},
        // Its following blocks are empty and count as broken.
        {"the stream's own final end code", concat({bumper, end_code, closed_movie, zeros(3 * 2324)}), closed_movie, 1},
        {"entry too close to the end to scan", concat({filler(17000), late, filler(1000)}), late, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        check_nobumper(c.input, expect::copy0, expect::corrections(c.corrections), c.want);
    }
}

// Two 16 MiB streams whose end code lies just before or just after 15 MiB.
TEST(BumperPrescan, OnlyTheFirstFifteenMiBAreSearched)
{
    static const Bytes base = padded_stream(7220);
    for (auto [block, taken] : {std::pair<std::size_t, bool>{6765, true}, {6768, false}}) {
        std::size_t end_at = (block + 1) * 2324 - 4;
        Bytes input = with_bytes(base, end_at, {0x00, 0x00, 0x01, 0xB9});
        std::size_t start = taken ? end_at + 4 : 0;
        std::size_t blocks = (input.size() - start) / 2324;
        std::string progress;
        for (std::size_t k = 1, last = SIZE_MAX; k <= blocks; ++k) {
            std::size_t percent = (((start + k * 2324) >> 20) * 100) / 16;
            if (percent != last)
                progress += "\xfe " + std::to_string(percent) + "% [hh:mm:ss] \r";
            last = percent;
        }
        Scratch s;
        s.write("in.mpg", input);
        RunResult r = s.run({"-mpg2mpg", "-nobumper", "in.mpg", "out.mpg"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(mask_clock(r.out), banner +
                                         expect::converted("-mpg2mpg", "in.mpg", "out.mpg", bumper_summary,
                                                           expect::prescan + progress) +
                                         expect::corrections(0));
        EXPECT_TRUE(same_bytes(s.read("out.mpg"), slice(input, start, blocks * 2324))) << block;
    }
}

TEST(InitialSequenceCorrection, WrittenWhenBytes48To63AreNotAllFF)
{
    Bytes only_48_to_63 = mpeg_block(0);
    std::fill(only_48_to_63.begin() + 48, only_48_to_63.begin() + 64, 0xFF);
    const std::pair<Bytes, bool> cases[] = {
        {padded_block(0), false},
        {only_48_to_63, false},
        {with_bytes(padded_block(0), 63, {0xFE}), true},
        {with_bytes(padded_block(0), 48, {0x00}), true},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const auto& [first, applied] = cases[i];
        Bytes copied = concat({first, mpeg_stream(3, 1)});
        std::string text =
            expect::converted("-mpg2mpg", "in.mpg", "out.mpg", expect::fix_line + expect::sizes(2324, 2324));
        check_run({"-mpg2mpg", "-fix", "in.mpg", "out.mpg"}, "in.mpg", copied, 0,
                  text + (applied ? expect::sequence_applied : "") + expect::corrections(0), "out.mpg",
                  applied ? concat({sequence, copied}) : copied);
    }
}

// After the bumper's end code comes junk, so the first chunk lacks the
// padding and is broken: the chunk found by resynchronisation follows the
// sequence.
TEST(InitialSequenceCorrection, ThenTheChunkFoundByResynchronisation)
{
    Bytes junk = with_bytes(filler(500), 2, {0x55, 0x55, 0x55});
    Bytes movie = mpeg_stream(8, 20);
    check_nobumper(concat({padded_stream(2, 50), end_code, junk, movie}), expect::scan0 + expect::copy0,
                   expect::sequence_applied + expect::corrections(1),
                   concat({sequence, slice(movie, block_size, 7 * block_size)}));
}

// mpg2dat -nobumper: the bumper is skipped before the lead-in, and the
// sequence goes in as the user data of four sectors.
TEST(InitialSequenceCorrection, FramedAsFourSectorsInADat)
{
    Bytes stream = mpeg_stream(4);
    std::string text = expect::converted("-mpg2dat", "in.mpg", "out.dat", expect::fix_line + expect::bumper_line,
                                         expect::prescan + expect::copy0);
    check_run({"-mpg2dat", "-nobumper", "in.mpg", "out.dat"}, "in.mpg",
              concat({padded_stream(2, 50), end_code, stream}), 0,
              text + expect::sequence_applied + expect::corrections(0), "out.dat",
              dat_from_blocks(concat({sequence, stream})));
}

}  // namespace
