#include <gtest/gtest.h>

#include <array>

#include "engine/mode2.h"
#include "state/run_state.h"
#include "stream_fixtures.h"

namespace {

// Whole sectors only, copied as they are: never repaired or pre-scanned,
// whatever the options say.
TEST(Raw2dat, WrapsEveryWholeSectorOfTheImage)
{
    Bytes fourteen = raw_track(mpeg_stream(14));  // one chunk of 13 sectors, then the tail loop
    Bytes data_first = concat({raw_track(zeros(2 * block_size)), raw_track(mpeg_stream(5), 2)});
    check_run({"-raw2dat", "-fix", "-nobumper", "in", "out"}, "in.raw", concat({fourteen, filler(100)}), 0,
              expect::converted("-raw2dat", "in.raw", "out.dat", expect::fix_line + expect::bumper_line) +
                  expect::corrections(0),
              "out.dat", dat_file(fourteen));
    check_run({"-raw2dat", "in.raw", "out.dat"}, "in.raw", concat({data_first, filler(2351)}), 0,
              expect::converted("-raw2dat", "in.raw", "out.dat", "", ""), "out.dat", dat_file(data_first));
}

// The model the other tests compare against, held to the bytes a .dat file
// must have.
TEST(Mpg2dat, LeadInAndFirstDataSector)
{
    Bytes dat = dat_from_blocks(mpeg_block(0));
    EXPECT_TRUE(same_bytes(slice(dat, 44, 24), concat({{0x00}, Bytes(10, 0xFF), {0x00, 0x00, 0x08, 0x12, 0x02},
                                                       {0x01, 0x00, 0x60, 0x00, 0x01, 0x00, 0x60, 0x00}})));
    EXPECT_TRUE(same_bytes(slice(dat, 44 + 2348, 4), {0xAF, 0x2B, 0x17, 0xD8}));
    EXPECT_TRUE(same_bytes(slice(dat, 44 + 29 * 2352 + 12, 4), {0x00, 0x08, 0x41, 0x02}));
    EXPECT_TRUE(same_bytes(slice(dat, 70604 + 12, 12),
                           {0x00, 0x08, 0x42, 0x02, 0x01, 0x01, 0x62, 0x0F, 0x01, 0x01, 0x62, 0x0F}));
}

// Header, 30 lead-in sectors, one sector per whole 2324-byte block from the
// first pack header.
TEST(Mpg2dat, OneSectorPerWholeBlock)
{
    const std::pair<Bytes, std::size_t> cases[] = {
        {mpeg_stream(3), 0},
        {concat({mpeg_stream(3), filler(2323)}), 0},
        {concat({filler(100), mpeg_stream(10)}), 100},
    };
    for (const auto& [input, first_pack] : cases) {
        SCOPED_TRACE(input.size());
        std::size_t blocks = (input.size() - first_pack) / block_size;
        Bytes want = dat_from_blocks(slice(input, first_pack, blocks * block_size));
        ASSERT_EQ(want.size(), 44 + (30 + blocks) * 2352);
        check_run({"-mpg2dat", "in", "out"}, "in.mpg", input, 0, expect::converted("-mpg2dat", "in.mpg", "out.dat"),
                  "out.dat", want);
    }
}

// In-process: the data sectors around the carries, the rest sent to
// /dev/null.
TEST(Mpg2dat, AddressesAcrossSecondAndMinuteCarries)
{
    reset_run_state();
    reset_msf_counter();
    Scratch s;
    const std::array<std::uint8_t, 2324> user{};
    const std::pair<std::uint32_t, Bytes> wanted[] = {{32, {0x00, 0x08, 0x74}},   {33, {0x00, 0x09, 0x00}},
                                                      {3857, {0x00, 0x59, 0x74}}, {3858, {0x01, 0x00, 0x00}},
                                                      {44358, {0x0A, 0x00, 0x00}}};
    std::uint32_t next = 0;
    for (const auto& [sector, msf] : wanted) {
        ASSERT_TRUE(io.output_file.open("/dev/null"));
        if (next == 0)
            write_dat_lead_in();
        for (; next < sector; ++next)
            write_mode2_sector(user.data());
        io.output_file.close();
        ASSERT_TRUE(io.output_file.open(s.path("one").string()));
        write_mode2_sector(user.data());
        ++next;
        io.output_file.close();
        EXPECT_TRUE(same_bytes(slice(s.read("one"), 12, 3), msf)) << "data sector " << sector;
    }
    reset_run_state();
}

}  // namespace
