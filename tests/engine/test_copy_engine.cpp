#include <gtest/gtest.h>

#include <tuple>

#include "engine/copy_engine.h"
#include "engine/corrections.h"
#include "stream_fixtures.h"

namespace {

TEST(EstimateRemaining, DropsFractionsAtEachStep)
{
    const std::tuple<int, double, int, int, int> cases[] = {
        {20, 50, 0, 3, 20}, {50, 7199.9, 1, 59, 59}, {2, 1, 0, 0, 49}, {1, 3600, 99, 0, 0}, {100, 500, 0, 0, 0},
    };
    for (const auto& [percent, elapsed, h, m, s] : cases) {
        Estimate got = estimate_remaining(percent, elapsed);
        EXPECT_EQ(std::tie(got.hours, got.minutes, got.seconds), std::tie(h, m, s)) << percent << "% " << elapsed;
    }
}

// Everything -mpg2mpg -fix prints after the banner.
std::string repaired(const std::string& copy, unsigned corrections)
{
    return expect::converted("-mpg2mpg", "in.mpg", "out.mpg", expect::fix_line + expect::sizes(2324, 2324), copy) +
           expect::corrections(corrections);
}

void check_repair(const Bytes& input, const std::string& copy, unsigned corrections, const Bytes& want)
{
    check_run({"-mpg2mpg", "-fix", "in.mpg", "out.mpg"}, "in.mpg", input, 0, repaired(copy, corrections), "out.mpg",
              want);
}

TEST(RepairingCopy, OnlyAChunkWithBytes2To4AllWrongIsBroken)
{
    const std::pair<Bytes, bool> cases[] = {
        {{0x00, 0x00, 0x01, 0xBA, 0x21}, false}, {{0x00, 0x00, 0x01, 0xBA, 0x23}, false},
        {{0x00, 0x00, 0x01, 0x00, 0x00}, false}, {{0x00, 0x00, 0x00, 0xBA, 0x00}, false},
        {{0x00, 0x00, 0x00, 0x00, 0x21}, false}, {{0x55, 0x66, 0x01, 0xBA, 0x21}, false},
        {{0x00, 0x00, 0x00, 0x00, 0x00}, true},
    };
    const Bytes after = padded_stream(6, 10);
    for (const auto& [head, broken] : cases) {
        SCOPED_TRACE(testing::PrintToString(std::vector<int>(head.begin(), head.end())));
        Bytes odd = padded_block(1);
        std::copy(head.begin(), head.end(), odd.begin());
        check_repair(concat({padded_block(0), odd, after}), expect::copy0 + (broken ? expect::scan0 : ""), broken,
                     concat({padded_block(0), broken ? Bytes{} : odd, after}));
    }
}

// From each broken chunk the copy goes on at the next pack start code after
// it; the broken chunk's own pack start code is not searched for.
TEST(RepairingCopy, ResynchronisationDropsTheBrokenBytesAndNothingElse)
{
    Bytes broken = with_bytes(broken_block(2), 1000, {0x00, 0x00, 0x01, 0xBA, 0x21});
    Bytes movie = mpeg_stream(3, 7);
    Bytes tail = padded_stream(6, 10);
    Bytes head = concat({padded_block(0), mpeg_block(1)});
    check_repair(concat({head, broken, filler(1000), movie, broken_block(3), filler(50), tail}),
                 expect::copy0 + expect::scan0 + expect::scan0, 2, concat({head, movie, tail}));
}

// A failed search ends the copy after what came before the broken chunk.
// The search ends a sector before the copy's limit: the first input has no
// whole scan block before it, the second no pack with a sector of room.
TEST(RepairingCopy, FailedResynchronisationKeepsWhatCameBefore)
{
    Bytes head = concat({padded_block(0), mpeg_block(1), broken_block(2)});
    check_repair(concat({head, filler(1000), mpeg_block(3), filler(2000)}), expect::copy0, 1, slice(head, 0, 4648));
    check_repair(concat({head, filler(20000), mpeg_block(3)}), expect::copy0 + expect::scan0, 1, slice(head, 0, 4648));
}

// -r and -w where the mode honours them, ignored where it sets its own
// sizes, and refused where a chunk would write bytes it never read.
TEST(SectorSizes, FromTheCommandLine)
{
    const Bytes stream = mpeg_stream(6);
    const Bytes stream30 = mpeg_stream(30);
    const Bytes thirty = raw_track(stream30);
    auto raw = [&](std::size_t at, std::size_t n) { return slice(thirty, at, n); };
    using expect::sizes;
    struct Case {
        std::vector<std::string> options;  // the mode first
        Bytes input;
        std::string summary;
        std::optional<Bytes> want;  // none: refused with `refusal`
        std::string refusal = {};
    };
    const Case cases[] = {
        {{"-raw2mpg", "-r2332", "-w2324"}, cif_track(stream), sizes(2332, 2324), slice(stream, 0, 5 * block_size)},
        {{"-raw2mpg", "-r0", "-w0"}, thirty, "", slice(stream30, 0, 29 * block_size)},
        {{"-raw2mpg", "-r1", "-w1"}, thirty, sizes(1, 1), raw(24, thirty.size())},
        {{"-raw2mpg", "-r32705"}, thirty, sizes(32705, 0), concat({raw(24, 2324), raw(24 + 32705, 2324)})},
        {{"-raw2mpg", "-r32705", "-w32705"}, thirty, sizes(32705, 32705), raw(24, 2 * 32705)},
        {{"-raw2dat", "-r1"}, thirty, sizes(1, 0), dat_file(thirty)},
        // One 2352-byte write per 13-sector chunk, then the tail loop's sectors.
        {{"-raw2dat", "-w2352"}, thirty, sizes(0, 2352),
         dat_file(concat({raw(0, 2352), raw(13 * 2352, 2352), raw(26 * 2352, 4 * 2352)}))},
        {{"-cif2mpg", "-r2352", "-w100"}, cif_track(stream), sizes(2332, 2324), slice(stream, 0, 5 * block_size)},
        {{"-mpg2mpg", "-r9000"}, stream, sizes(2324, 2324), stream},
        {{"-dat2mpg", "-r100", "-w5000"}, dat_file(concat({raw_track(stream), zeros(2352)})), sizes(100, 5000), stream},
        {{"-mpg2dat", "-r100", "-w9000"}, stream, sizes(100, 9000), dat_from_blocks(stream)},
        {{"-raw2mpg", "-r2048"}, thirty, sizes(2048, 0), {}, "2324 bytes is larger than the read size of 2048"},
        {{"-raw2mpg", "-w2400"}, thirty, sizes(0, 2400), {}, "2400 bytes is larger than the read size of 2352"},
        {{"-raw2dat", "-w31000"}, thirty, sizes(0, 31000), {}, "31000 bytes is larger than the read size of 30576"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.options));
        const std::string& mode = c.options[0];
        std::string out = mode.ends_with("dat") ? "out.dat" : "out.mpg";
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"in.x", out});
        std::string text = c.want ? expect::converted(mode, "in.x", out, c.summary)
                                  : expect::header(mode, "in.x", out, c.summary) + "Write size of " + c.refusal +
                                        " bytes: bytes never read would be written.\n";
        check_run(args, "in.x", c.input, c.want ? 0 : 1, text, out, c.want);
    }
}

}  // namespace

namespace {

std::string times(int n, const std::string& text)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += text;
    return out;
}

// Sectors far smaller than the 64 bytes the repair examines: what a chunk
// lacks reads as zero, so every chunk but one just re-synchronised on a pack
// header is broken, and a first chunk never looks padded.
TEST(RepairingCopy, ChunksShorterThanWhatTheRepairExamines)
{
    Bytes block = concat({Bytes{0x00, 0x00, 0x01, 0xBA, 0x21}, Bytes(block_size - 5, 0x55)});
    Bytes track;
    for (std::uint32_t k = 0; k < 20; ++k)
        track = concat({track, raw_sector(block, k)});
    const Bytes sequence(initial_sequence.begin(), initial_sequence.end());
    // The copy reaches packs up to 18; pack 19 has no sector of room left.
    // A one-byte chunk at a pack's start is itself broken, so that pack is
    // skipped and only packs 1 to 18 give their first byte.
    Bytes want_1 = concat({sequence, Bytes(18, 0x00)});
    Bytes want_40 = sequence;
    for (int k = 0; k <= 18; ++k)
        want_40 = concat({want_40, slice(block, 0, 40)});
    const std::string tail = expect::sequence_applied + expect::corrections(19);
    check_run({"-raw2mpg", "-r1", "-w1", "-fix", "in.raw", "out.mpg"}, "in.raw", track, 0,
              expect::converted("-raw2mpg", "in.raw", "out.mpg", expect::fix_line + expect::sizes(1, 1),
                                expect::scan0 + expect::copy0 + times(17, expect::scan0)) +
                  tail,
              "out.mpg", want_1);
    check_run({"-raw2mpg", "-r40", "-w40", "-fix", "in.raw", "out.mpg"}, "in.raw", track, 0,
              expect::converted("-raw2mpg", "in.raw", "out.mpg", expect::fix_line + expect::sizes(40, 40),
                                expect::copy0 + times(18, expect::scan0)) +
                  tail,
              "out.mpg", want_40);
}

}  // namespace
