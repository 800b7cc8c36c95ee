#include <gtest/gtest.h>

#include "engine/copy_engine.h"
#include "fixtures.h"
#include "harness.h"
#include "stream_fixtures.h"

namespace {

TEST(EstimateRemaining, DropsFractionsAtEachStep)
{
    struct Case {
        int percent;
        double elapsed;
        Estimate want;
    };
    const Case cases[] = {
        {20, 50, {0, 3, 20}},    {50, 7199.9, {1, 59, 59}}, {2, 1, {0, 0, 49}},
        {99, 99, {0, 0, 1}},     {1, 3600, {99, 0, 0}},     {50, 0, {0, 0, 0}},
        {3, 100, {0, 53, 53}},   {100, 500, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        Estimate got = estimate_remaining(c.percent, c.elapsed);
        EXPECT_EQ(got.hours, c.want.hours) << c.percent << "% after " << c.elapsed << " s";
        EXPECT_EQ(got.minutes, c.want.minutes) << c.percent << "% after " << c.elapsed << " s";
        EXPECT_EQ(got.seconds, c.want.seconds) << c.percent << "% after " << c.elapsed << " s";
    }
}

// mpg2mpg -fix: every 2324-byte chunk is one block, written whole.
const std::string fix_summary =
    expect::fix_line + expect::read_size_line(2324) + expect::write_size_line(2324);

std::string fix_run_text(const std::string& during_copy, unsigned corrections)
{
    return banner + expect::header("raw2mpg", "in.mpg", "out.mpg", fix_summary) + expect::searching +
           expect::scan0 + expect::writing + during_copy + expect::completed("out.mpg") +
           expect::corrections(corrections);
}

// The first block is padded, so no initial sequence gets in the way.
Bytes padded_stream(std::vector<Bytes> middle, std::size_t blocks_after)
{
    middle.insert(middle.begin(), padded_block(0));
    for (std::size_t i = 0; i < blocks_after; ++i)
        middle.push_back(padded_block(static_cast<unsigned>(10 + i)));
    return join_blocks(middle);
}

TEST(RepairingCopy, OnlyAChunkWithAllThreeBytesWrongIsBroken)
{
    struct Case {
        const char* name;
        std::initializer_list<std::uint8_t> bytes0to4;
        bool broken;
    };
    const Case cases[] = {
        {"01 BA 21", {0x00, 0x00, 0x01, 0xBA, 0x21}, false},
        {"01 BA 23", {0x00, 0x00, 0x01, 0xBA, 0x23}, false},
        {"01 00 00", {0x00, 0x00, 0x01, 0x00, 0x00}, false},
        {"00 BA 00", {0x00, 0x00, 0x00, 0xBA, 0x00}, false},
        {"00 00 21", {0x00, 0x00, 0x00, 0x00, 0x21}, false},
        {"bytes 0 and 1 unexamined", {0x55, 0x66, 0x01, 0xBA, 0x21}, false},
        {"00 00 00", {0x00, 0x00, 0x00, 0x00, 0x00}, true},
        {"FF FF FF", {0x00, 0xFF, 0xFF, 0xFF, 0xFF}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes odd = with_bytes(padded_block(1), 0, c.bytes0to4);
        Scratch s;
        s.write("in.mpg", padded_stream({odd}, 6));
        RunResult r = s.run({"-fix", "-mpg2mpg", "in.mpg", "out.mpg"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, fix_run_text(expect::copy0 + (c.broken ? expect::scan0 : ""), c.broken ? 1 : 0));
        Bytes want = c.broken ? padded_stream({}, 6) : padded_stream({odd}, 6);
        EXPECT_TRUE(same_bytes(s.read("out.mpg"), want));
    }
}

TEST(RepairingCopy, ResynchronisationDropsTheBrokenBytesAndNothingElse)
{
    // A pack start code inside the broken chunk is not searched for.
    Bytes broken = with_bytes(broken_block(2), 1000, {0x00, 0x00, 0x01, 0xBA, 0x21});
    Bytes movie = mpeg_stream(7, 3);
    Scratch s;
    s.write("in.mpg", concat({padded_block(0), mpeg_block(1), broken, filler(1000), movie, filler(1000)}));
    RunResult r = s.run({"-mpg2mpg", "-fix", "in.mpg", "out.mpg"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, fix_run_text(expect::copy0 + expect::scan0, 1));
    EXPECT_TRUE(same_bytes(s.read("out.mpg"), concat({padded_block(0), mpeg_block(1), movie})));
}

TEST(RepairingCopy, EveryBrokenChunkIsCounted)
{
    Scratch s;
    s.write("in.mpg", padded_stream({broken_block(1), padded_block(2), broken_block(3), filler(50)}, 6));
    RunResult r = s.run({"-mpg2mpg", "-fix", "in.mpg", "out.mpg"});
    EXPECT_EQ(r.out, fix_run_text(expect::copy0 + expect::scan0 + expect::scan0, 2));
    Bytes six_after = slice(padded_stream({}, 6), block_size, 6 * block_size);
    EXPECT_TRUE(same_bytes(s.read("out.mpg"), concat({padded_block(0), padded_block(2), six_after})));
}

TEST(RepairingCopy, FailedResynchronisationKeepsWhatCameBefore)
{
    struct Case {
        const char* name;
        Bytes after_broken;
        bool scanner_reads;
    };
    const Case cases[] = {
        // The scan limit is limit - 2324: no 5000-byte block fits.
        {"too close to the end to scan", mpeg_block(3), false},
        // The only pack left has no room before the scan limit.
        {"no pack with room", concat({filler(20000), mpeg_block(3)}), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scratch s;
        s.write("in.mpg", concat({padded_block(0), mpeg_block(1), broken_block(2), c.after_broken}));
        RunResult r = s.run({"-mpg2mpg", "-fix", "in.mpg", "out.mpg"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, fix_run_text(expect::copy0 + (c.scanner_reads ? expect::scan0 : ""), 1));
        EXPECT_TRUE(same_bytes(s.read("out.mpg"), concat({padded_block(0), mpeg_block(1)})));
    }
}

// Raw copies are made of multi-sector chunks, then single sectors; a part
// shorter than one sector is never copied.
TEST(PlainCopy, ChunksThenSingleSectorsThenNothing)
{
    Bytes image = raw_track(mpeg_stream(14));
    Scratch s;
    s.write("in.raw", concat({image, filler(100)}));
    RunResult r = s.run({"-raw2dat", "-fix", "-nobumper", "in.raw", "out.dat"});
    EXPECT_EQ(r.status, 0);
    // Whole sectors are never repaired or pre-scanned, whatever the options.
    EXPECT_EQ(r.out, banner +
                         expect::header("raw2dat", "in.raw", "out.dat", expect::fix_line + expect::bumper_line) +
                         expect::searching + expect::scan0 + expect::writing + expect::copy0 +
                         expect::completed("out.dat") + expect::corrections(0));
    EXPECT_TRUE(same_bytes(s.read("out.dat"), dat_file(image)));
}

TEST(PlainCopy, ReadAndWriteSizesFromTheCommandLine)
{
    Bytes stream = mpeg_stream(6);
    Bytes image = raw_track(stream);
    Bytes cif = cif_track(stream);
    Bytes thirty = raw_track(mpeg_stream(30));
    auto thirty_sector = [&](std::size_t n) { return slice(thirty, n * sector_bytes, sector_bytes); };
    struct Case {
        std::vector<std::string> options;
        Bytes input;
        std::string method;
        std::string summary;
        Bytes want;
        bool chunk_fits = true;  // no progress line when not one chunk fits
    };
    const Case cases[] = {
        {{"-raw2mpg", "-r2332", "-w2324"}, cif, "raw2mpg",
         expect::read_size_line(2332) + expect::write_size_line(2324), slice(stream, 0, 5 * block_size)},
        {{"-raw2dat", "-r2048"}, thirty, "raw2dat", expect::read_size_line(2048),
         dat_file(slice(thirty, 0, thirty.size() / 2048 * 2048))},
        {{"-raw2dat", "-r2352"}, image, "raw2dat", expect::read_size_line(2352), dat_file(image), false},
        // One 2352-byte write per 13-sector chunk, then the tail loop's
        // whole sectors.
        {{"-raw2dat", "-w2352"}, thirty, "raw2dat", expect::write_size_line(2352),
         dat_file(concat({thirty_sector(0), thirty_sector(13), thirty_sector(26), thirty_sector(27),
                          thirty_sector(28), thirty_sector(29)}))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options[0] + " " + c.options[1]);
        std::string out = c.method == "raw2mpg" ? "out.mpg" : "out.dat";
        Scratch s;
        s.write("in.raw", c.input);
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"in.raw", out});
        RunResult r = s.run(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, banner + expect::header(c.method, "in.raw", out, c.summary) + expect::searching +
                             expect::scan0 + expect::writing + (c.chunk_fits ? expect::copy0 : "") +
                             expect::completed(out));
        EXPECT_TRUE(same_bytes(s.read(out), c.want));
    }
}

TEST(PlainCopy, ProgressPastOneMiB)
{
    Bytes stream = mpeg_stream(1400);  // 3.1 MiB: limit_mib is 3
    Scratch s;
    s.write("in.mpg", stream);
    RunResult r = s.run({"-mpg2mpg", "in.mpg", "out.mpg"});
    EXPECT_EQ(r.status, 0);
    const std::string sizes = expect::read_size_line(2324) + expect::write_size_line(2324);
    EXPECT_EQ(mask_clock(r.out), banner + expect::header("raw2mpg", "in.mpg", "out.mpg", sizes) +
                                     expect::searching + expect::scan0 + expect::writing +
                                     "\xfe 0% [hh:mm:ss] \r\xfe 33% [hh:mm:ss] \r\xfe 66% [hh:mm:ss] \r"
                                     "\xfe 100% [hh:mm:ss] \r" +
                                     expect::completed("out.mpg"));
    // The first line's estimate is never computed.
    EXPECT_NE(r.out.find(expect::copy0), std::string::npos);
    EXPECT_TRUE(same_bytes(s.read("out.mpg"), stream));
}

}  // namespace
