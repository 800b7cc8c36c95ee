#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "engine/mode2.h"
#include "fixtures.h"
#include "harness.h"
#include "state/run_state.h"
#include "stream_fixtures.h"

namespace {

std::uint32_t little_endian(const std::uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

TEST(DatHeader, FixedFieldsAndSizes)
{
    EXPECT_TRUE(same_bytes(Bytes(dat_header.begin(), dat_header.end()), dat_header_bytes));
    EXPECT_EQ(std::memcmp(dat_header.data(), "RIFF", 4), 0);
    EXPECT_EQ(std::memcmp(dat_header.data() + 8, "CDXAfmt ", 8), 0);
    EXPECT_EQ(std::memcmp(dat_header.data() + 26, "XA", 2), 0);
    EXPECT_EQ(std::memcmp(dat_header.data() + 36, "data", 4), 0);
    EXPECT_EQ(little_endian(dat_header.data() + 40), 179590u * 2352u);
    EXPECT_EQ(little_endian(dat_header.data() + 4), 179590u * 2352u + 36u);
}

TEST(BcdTable, TensHighUnitsLow)
{
    const std::pair<int, std::uint8_t> cases[] = {{0, 0x00}, {9, 0x09}, {10, 0x10}, {42, 0x42}, {59, 0x59}, {74, 0x74}};
    for (auto [n, want] : cases)
        EXPECT_EQ(bcd_table[static_cast<std::size_t>(n)], want) << n;
}

TEST(CdEdc, KnownValues)
{
    const char* check = "123456789";
    EXPECT_EQ(cd_edc({reinterpret_cast<const std::uint8_t*>(check), 9}), 0x6EC2EDC4u);
    EXPECT_EQ(cd_edc({}), 0u);
    // Subheader and user data of a lead-in sector: stored as AF 2B 17 D8.
    Bytes covered = concat({{0x01, 0x00, 0x60, 0x00, 0x01, 0x00, 0x60, 0x00}, zeros(2324)});
    EXPECT_EQ(cd_edc(covered), 0xD8172BAFu);
}

// Drives the sector writer in-process, keeping only the sectors of interest
// and sending the rest to /dev/null.
TEST(Mode2Sectors, AddressesAcrossSecondAndMinuteCarries)
{
    reset_run_state();
    Scratch s;
    reset_msf_counter();
    ASSERT_TRUE(io.output_file.open(s.path("lead.dat").string()));
    write_dat_lead_in();
    io.output_file.close();
    EXPECT_TRUE(same_bytes(s.read("lead.dat"), dat_from_blocks({})));

    struct Wanted {
        std::uint32_t sector;
        std::uint8_t m, s, f;
    };
    const Wanted wanted[] = {{0, 0x00, 0x08, 0x42},     {32, 0x00, 0x08, 0x74},    {33, 0x00, 0x09, 0x00},
                             {3857, 0x00, 0x59, 0x74},  {3858, 0x01, 0x00, 0x00},  {44357, 0x09, 0x59, 0x74},
                             {44358, 0x0A, 0x00, 0x00}};
    Bytes other = filler(2324);
    std::uint32_t next = 0;
    for (const Wanted& w : wanted) {
        ASSERT_TRUE(io.output_file.open("/dev/null"));
        for (; next < w.sector; ++next)
            write_mode2_sector(other.data());
        io.output_file.close();
        std::string name = "sector" + std::to_string(w.sector);
        Bytes user = mpeg_block(w.sector);
        ASSERT_TRUE(io.output_file.open(s.path(name).string()));
        write_mode2_sector(user.data());
        io.output_file.close();
        ++next;
        Bytes got = s.read(name);
        SCOPED_TRACE(name);
        EXPECT_TRUE(same_bytes(got, data_dat_sector(user, 642 + w.sector)));
        ASSERT_EQ(got.size(), 2352u);
        EXPECT_EQ(got[12], w.m);
        EXPECT_EQ(got[13], w.s);
        EXPECT_EQ(got[14], w.f);
    }
    reset_run_state();
}

TEST(Mpg2datFraming, LeadInThenOneSectorPerBlock)
{
    Bytes stream = mpeg_stream(4);
    Scratch s;
    s.write("in.mpg", stream);
    RunResult r = s.run({"-mpg2dat", "in", "out"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, banner + expect::header("mpg2dat", "in.mpg", "out.dat") + expect::searching + expect::scan0 +
                         expect::writing + expect::copy0 + expect::completed("out.dat"));
    Bytes dat = s.read("out.dat");
    EXPECT_TRUE(same_bytes(dat, dat_from_blocks(stream)));

    // The first lead-in sector, spelled out.
    Bytes first = concat({{0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00},
                          {0x00, 0x08, 0x12, 0x02, 0x01, 0x00, 0x60, 0x00, 0x01, 0x00, 0x60, 0x00},
                          zeros(2324),
                          {0xAF, 0x2B, 0x17, 0xD8}});
    EXPECT_TRUE(same_bytes(slice(dat, 0, 44), dat_header_bytes));
    EXPECT_TRUE(same_bytes(slice(dat, 44, 2352), first));
    EXPECT_TRUE(same_bytes(slice(dat, 44 + 29 * 2352 + 12, 4), {0x00, 0x08, 0x41, 0x02}));
    EXPECT_TRUE(same_bytes(slice(dat, 70604 + 12, 12),
                           {0x00, 0x08, 0x42, 0x02, 0x01, 0x01, 0x62, 0x0F, 0x01, 0x01, 0x62, 0x0F}));
    EXPECT_TRUE(same_bytes(slice(dat, 70604 + 24, 2324), slice(stream, 0, 2324)));
    EXPECT_TRUE(same_bytes(slice(dat, 70604 + 2348, 4), zeros(4)));
}

TEST(Mpg2datFraming, SizeIsHeaderPlusThirtyPlusWholeBlocks)
{
    struct Case {
        const char* name;
        Bytes input;
        std::size_t first_pack;
        std::size_t blocks;
    };
    const Case cases[] = {
        {"three blocks", mpeg_stream(3), 0, 3},
        {"remainder dropped", concat({mpeg_stream(3), filler(2323)}), 0, 3},
        {"junk before the first pack", concat({filler(100), mpeg_stream(10)}), 100, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scratch s;
        s.write("in.mpg", c.input);
        RunResult r = s.run({"-mpg2dat", "in.mpg", "out.dat"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(s.size("out.dat"), 44 + (30 + c.blocks) * 2352);
        Bytes blocks = slice(c.input, c.first_pack, c.blocks * block_size);
        EXPECT_TRUE(same_bytes(s.read("out.dat"), dat_from_blocks(blocks)));
    }
}

}  // namespace
