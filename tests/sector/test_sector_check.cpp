// The EDC, the sector check and the damage ranges, in-process on sectors of
// the committed vcdimager sample image.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <numeric>

#include "sector/edc.h"
#include "sector/md5.h"
#include "sector/msf.h"
#include "engine/mode2.h"
#include "sector/sector_check.h"
#include "fixtures.h"

namespace {

std::uint32_t edc_bit_by_bit(const Bytes& b)
{
    std::uint32_t edc = 0;
    for (std::uint8_t byte : b) {
        edc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            edc = (edc >> 1) ^ ((edc & 1) ? 0xD8018001u : 0);
    }
    return edc;
}

const Bytes& sample_image()
{
    static const Bytes image = [] {
        std::ifstream in(MIVARO_TEST_DATA "/sample/sample.bin", std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }();
    return image;
}

// Sector n of the sample: 16 is Form 1 (the primary volume descriptor), 450
// an empty Form 2 sector of a pregap, 480 the first of the first movie.
Bytes sample_sector(std::size_t n)
{
    return slice(sample_image(), n * sector_bytes, sector_bytes);
}

std::uint16_t check(const Bytes& sector, std::optional<std::uint32_t> lba, std::uint8_t mode = 0)
{
    return check_sector(std::span<const std::uint8_t, 2352>(sector.data(), 2352), lba, mode);
}

Bytes flipped(Bytes b, std::size_t at, std::uint8_t bits = 0x01)
{
    b[at] ^= bits;
    return b;
}

}  // namespace

// Each way the processor has, at every length around the 16-, 64- and
// 256-byte steps of the folding, at a sector's two EDC spans, and carried
// over two pieces; the empty sector's EDC that every .dat lead-in stores;
// the EDCs the sample's sectors store. The CRC-32 of zip files on the same
// ways, and its check value.
TEST(SectorCheck, EdcAgreesWithTheBitByBitDefinition)
{
    Bytes data = filler(3000, 7);
    std::vector<std::size_t> lengths(301);
    std::iota(lengths.begin(), lengths.end(), 0);
    lengths.insert(lengths.end(), {511, 512, 513, 2056, 2064, 2332, 2999});
    for (EdcWay way : {EdcWay::tables, EdcWay::clmul128, EdcWay::clmul512}) {
        if (!edc_way_usable(way)) {
            std::printf("EDC way %d is not usable on this processor\n", static_cast<int>(way));
            continue;
        }
        for (std::size_t n : lengths) {
            Bytes piece = slice(data, 1, n);
            EXPECT_EQ(edc_update_by(way, 0, piece), edc_bit_by_bit(piece)) << static_cast<int>(way) << " " << n;
            // The zip CRC-32 takes the same ways: each against the tables.
            std::uint32_t crc = crc32_update_by(way, 0, slice(piece, 0, n / 3));
            EXPECT_EQ(crc32_update_by(way, crc, slice(piece, n / 3, n)), crc32_update_by(EdcWay::tables, 0, piece))
                << static_cast<int>(way) << " " << n;
        }
        const std::uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
        EXPECT_EQ(crc32_update_by(way, 0, check), 0xCBF43926u);
        // Second pieces of 12, 11, 3, 2, 1, 0 and 15 bytes past a multiple of 16.
        for (std::size_t cut : {0, 1, 9, 10, 11, 12, 13, 100, 1000})
            EXPECT_EQ(edc_update_by(way, edc_update_by(way, 0, slice(data, 0, cut)), slice(data, cut, 2332 - cut)),
                      edc_bit_by_bit(slice(data, 0, 2332))) << static_cast<int>(way) << " " << cut;
    }
    EXPECT_EQ(edc_portable(0, data), edc_update(0, data));
    Bytes empty = concat({hex("01006000 01006000"), zeros(block_size)});
    EXPECT_EQ(cd_edc(empty), 0xD8172BAFu);
    EXPECT_EQ(edc_bit_by_bit(empty), 0xD8172BAFu);
    Bytes form2 = sample_sector(480), form1 = sample_sector(16);
    EXPECT_EQ(edc_update(0, slice(form2, 16, 2332)), edc_bit_by_bit(slice(form2, 16, 2332)));
    for (const auto& [sector, from, at] : {std::tuple{form2, 16, 2348}, {form1, 16, 2072}}) {
        std::uint32_t edc = edc_update(0, slice(sector, from, at - from));
        EXPECT_EQ(slice(sector, at, 4), Bytes({std::uint8_t(edc), std::uint8_t(edc >> 8), std::uint8_t(edc >> 16), std::uint8_t(edc >> 24)}));
    }
}

// The sample is whole; each kind of damage sets its own bit and no other.
TEST(SectorCheck, EachFaultHasItsBit)
{
    SectorTally tally;
    check_sectors(sample_image(), 0, true, 2, tally);
    EXPECT_EQ(tally.read, sample_image().size() / sector_bytes);
    EXPECT_EQ(tally.whole, tally.read);
    EXPECT_TRUE(tally.damage.empty());

    const Bytes form1 = sample_sector(16), empty = sample_sector(450), movie = sample_sector(480);
    const std::vector<std::tuple<Bytes, std::uint32_t, std::uint16_t>> cases = {
        {form1, 16, 0},
        {flipped(form1, 0), 16, fault_sync},
        {flipped(form1, 11, 0x80), 16, fault_sync},
        {flipped(form1, 14), 16, fault_address},
        {form1, 17, fault_address},
        {flipped(form1, 12, 0x0A), 16, fault_address},  // minute 0x0A is not BCD
        {flipped(form1, 15, 0x01), 16, fault_mode},
        {flipped(form1, 15, 0x03), 16, fault_mode | fault_edc | fault_p_parity | fault_q_parity},  // read as Mode 1
        {flipped(form1, 18), 16, fault_subheader | fault_edc | fault_p_parity | fault_q_parity},
        {flipped(form1, 1000, 0x40), 16, fault_edc | fault_p_parity | fault_q_parity},
        {flipped(form1, 2073), 16, fault_edc | fault_p_parity | fault_q_parity},
        {flipped(form1, 2100), 16, fault_p_parity | fault_q_parity},  // P bytes are under Q
        {flipped(form1, 2300), 16, fault_q_parity},
        {flipped(form1, 13), 16, fault_address},  // Mode 2 parity takes the header as zeros
        {movie, 480, 0},
        {flipped(movie, 100), 480, fault_edc},
        {flipped(movie, 2350), 480, fault_edc},
        {flipped(movie, 16), 480, fault_subheader | fault_edc},
        {flipped(movie, 15, 0x06), 480, fault_mode},
        {empty, 450, 0},
        {Bytes(sector_bytes, 0), 450, fault_blank},
        {concat({slice(movie, 0, 2348), zeros(4)}), 480, note_no_edc},
        {concat({slice(flipped(movie, 100), 0, 2348), zeros(4)}), 480, note_no_edc},  // nothing to find it by
    };
    for (const auto& [sector, lba, want] : cases)
        EXPECT_EQ(check(sector, lba, 2), want) << lba << " " << fault_names(want);
    EXPECT_EQ(check(flipped(form1, 14), std::nullopt), 0);  // no place known: the address is not compared
    EXPECT_EQ(check(movie, 480, 1), fault_mode);            // a Mode 2 sector in a Mode 1 track
    EXPECT_EQ(check(flipped(form1, 15, 0x03), 16, 1), fault_edc | fault_p_parity | fault_q_parity);
}

// Consecutive sectors with the same faults merge; a new fault set or a gap
// starts a range. Whole sectors and sectors without EDC are counted apart.
TEST(SectorCheck, DamageRangesAndTheirWords)
{
    SectorTally t;
    const std::pair<std::uint32_t, std::uint16_t> sectors[] = {
        {0, 0}, {1, fault_edc}, {2, fault_edc}, {3, fault_edc | note_no_edc}, {4, fault_sync},
        {5, note_no_edc}, {6, fault_sync}, {4499, fault_address | fault_q_parity | fault_cut_short}};
    for (const auto& [lba, faults] : sectors)
        tally_sector(t, lba, faults);
    EXPECT_EQ(t.read, 8u);
    EXPECT_EQ(t.whole, 2u);
    EXPECT_EQ(t.without_edc, 1u);
    std::vector<std::string> ranges;
    for (const DamageRange& r : t.damage)
        ranges.push_back(describe_range(r));
    EXPECT_EQ(ranges, (std::vector<std::string>{"00:02:01 to 00:02:03, 3 sectors: EDC", "00:02:04, 1 sector: sync",
                                                "00:02:06, 1 sector: sync",
                                                "01:01:74, 1 sector: address, Q parity, cut short"}));
    EXPECT_EQ(fault_names(0x1FF), "sync, address, mode byte, subheader copies differ, EDC, P parity, Q parity, "
                                  "all zero, cut short");
    EXPECT_EQ(disc_time(static_cast<std::uint32_t>(-150)), "00:00:00");
    EXPECT_EQ(disc_time(449850 - 150), "99:58:00");
}

// A raw image knows no place of its own: the first sound header confirmed by
// the next sector's sets it, so a damaged first header does not shift the rest.
TEST(SectorCheck, AnchorOfARawImage)
{
    Bytes three = slice(sample_image(), 480 * sector_bytes, 3 * sector_bytes);
    EXPECT_EQ(anchor_lba(three), 480u);
    EXPECT_EQ(anchor_lba(flipped(three, 14)), 480u);
    EXPECT_EQ(anchor_lba(flipped(three, 2)), 480u);
    EXPECT_EQ(anchor_lba(slice(three, sector_bytes, sector_bytes)), 481u);
    EXPECT_EQ(anchor_lba(flipped(flipped(three, 2352 + 2), 2 * 2352 + 2)), std::nullopt);
    EXPECT_EQ(anchor_lba(Bytes(5 * sector_bytes, 0)), std::nullopt);
    EXPECT_EQ(anchor_lba(slice(three, 0, 2351)), std::nullopt);
    EXPECT_EQ(bcd_msf_lsn(0x01, 0x59, 0x74), 60u * 75 + 59 * 75 + 74 - 150);
    EXPECT_EQ(bcd_msf_lsn(0x00, 0x60, 0x00), std::nullopt);
    EXPECT_EQ(bcd_msf_lsn(0x00, 0x02, 0x75), std::nullopt);
}

// Sectors stored without sync and header (2336) are checked on what they
// keep, and agree with the raw check there; with 96 bytes of subchannel
// (2448) they are raw sectors. A run of them tallies at its own places.
TEST(SectorCheck, StoredFramings)
{
    const SectorFraming& cooked = *framing_of(2336);
    const Bytes form1 = sample_sector(16), movie = sample_sector(480);
    const std::vector<std::pair<Bytes, std::uint16_t>> cases = {
        {form1, 0},
        {movie, 0},
        {sample_sector(450), 0},
        {flipped(form1, 14), 0},
        {flipped(form1, 18), fault_subheader | fault_edc | fault_p_parity | fault_q_parity},
        {flipped(form1, 2300), fault_q_parity},
        {flipped(movie, 21), fault_subheader | fault_edc},
        {flipped(movie, 2349), fault_edc},
        {concat({slice(movie, 0, 2348), zeros(4)}), note_no_edc},
        {concat({slice(movie, 0, 16), zeros(2336)}), fault_blank},
        {concat({slice(movie, 0, 16), zeros(2335), {1}}), fault_q_parity},  // not blank: a Form 1 sector
    };
    for (const auto& [sector, want] : cases) {
        EXPECT_EQ(check_stored_sector(sector.data() + 16, cooked, 7, 2), want) << fault_names(want);
        EXPECT_EQ(check_stored_sector(sector.data() + 16, cooked, 7, 0), want) << fault_names(want);
        if (want != fault_blank) {
            EXPECT_EQ(check(sector, std::nullopt, 2), want) << fault_names(want);
        }
    }
    EXPECT_EQ(check_stored_sector(movie.data() + 16, cooked, 480, 1), fault_mode);
    EXPECT_EQ(check_stored_sector(zeros(2336).data(), cooked, 480, 1), fault_blank);

    Bytes stored;
    for (std::size_t n = 478; n < 483; ++n)
        stored = concat({stored, n == 480 ? flipped(sample_sector(n), 14) : sample_sector(n), filler(96, 3)});
    stored = concat({stored, Bytes(2447, 0)});
    for (const auto& [check_addresses, first, damage] : std::vector<std::tuple<bool, std::uint32_t, std::string>>{
             {true, 478, "00:08:30, 1 sector: address"}, {false, 478, ""}, {true, 477, "00:08:27 to 00:08:31, 5 sectors: address"}}) {
        SectorTally tally;
        check_stored_sectors(stored, *framing_of(2448), first, check_addresses, 2, tally);
        EXPECT_EQ(tally.read, 5u);
        EXPECT_EQ(tally.damage.empty() ? "" : describe_range(tally.damage.back()), damage);
    }
    SectorTally tally;
    Bytes two = concat({slice(movie, 16, 2336), slice(flipped(movie, 500), 16, 2336), zeros(2335)});
    check_stored_sectors(two, cooked, 40, true, 2, tally);
    EXPECT_EQ(tally.read, 2u);
    EXPECT_EQ(tally.whole, 1u);
    EXPECT_EQ(describe_range(tally.damage.at(0)), "00:02:41, 1 sector: EDC");
}

TEST(Md5, RfcVectorsAndTwoStreamsAtAnyOffset)
{
    auto digest_of = [](std::string_view text) {
        Md5Stream s;
        md5_update(s, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
        std::array<std::uint8_t, 16> d = md5_digest(s);
        char out[33];
        for (int i = 0; i < 16; ++i)
            std::snprintf(out + 2 * i, 3, "%02x", d[i]);
        return std::string(out);
    };
    EXPECT_EQ(digest_of(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(digest_of("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(digest_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(digest_of("1234567890123456789012345678901234567890"
                        "1234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
    // The second stream starts ahead by `head` bytes, so its blocks start
    // elsewhere in each piece; pieces short and long, at block edges and not.
    Bytes data = filler(20000, 3);
    for (std::size_t head : {0, 1, 55, 56, 63, 64, 65, 127}) {
        Md5Stream a, b, b_alone;
        md5_update(b, slice(data, 0, head));
        std::size_t at = head;
        for (std::size_t n : {0, 1, 63, 64, 120, 191, 192, 193, 2352, 4097, 9000}) {
            n = std::min(n, data.size() - at);
            md5_update_both(a, b, slice(data, at, n));
            at += n;
        }
        md5_update(b_alone, slice(data, 0, at));
        Md5Stream a_alone;
        md5_update(a_alone, slice(data, head, at - head));
        EXPECT_EQ(md5_digest(a), md5_digest(a_alone)) << head;
        EXPECT_EQ(md5_digest(b), md5_digest(b_alone)) << head;
    }
}
