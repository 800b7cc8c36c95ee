#include "sector/sector_check.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "sector/edc.h"
#include "sector/formats.h"
#include "sector/msf.h"

namespace {


// Where things sit in a raw sector.
constexpr std::size_t header_at = 12, mode_at = 15, subheader_at = 16;
constexpr std::size_t mode1_edc_at = 2064;  // after sync, header, 2048 bytes
constexpr std::size_t form1_edc_at = 2072;  // after sync, header, subheader, 2048 bytes
constexpr std::size_t form2_edc_at = 2348;
// The parity bytes (ECMA-130, annex A) cover everything from the header on:
// 2064 bytes under P, whose 172 bytes follow at 2076; those 2236 under Q,
// whose 104 bytes follow at 2248.
constexpr std::size_t p_covered = 2064, p_bytes = 172, q_covered = 2236, q_bytes = 104;

// GF(2^8) with x^8+x^4+x^3+x^2+1: times_x[a] is a times x; over_x_plus_1[a
// times (x+1)] is a.
struct ParityTables {
    std::array<std::uint8_t, 256> times_x{};
    std::array<std::uint8_t, 256> over_x_plus_1{};
};
constexpr ParityTables make_parity_tables()
{
    ParityTables t;
    for (unsigned a = 0; a < 256; ++a) {
        unsigned ax = (a << 1) ^ ((a & 0x80) ? 0x11D : 0);
        t.times_x[a] = static_cast<std::uint8_t>(ax);
        t.over_x_plus_1[a ^ ax] = static_cast<std::uint8_t>(a);
    }
    return t;
}
constexpr ParityTables gf = make_parity_tables();

// One of the two product codes: `majors` code words of `minors` bytes each,
// the word for major m starting at (m / 2) * major_step + m % 2 and going on
// by minor_step, modulo the covered size. The two parity bytes of word m are
// stored at parity[m] and parity[m + majors]; `put` writes them there,
// otherwise they are compared.
bool parity_matches(const std::uint8_t* covered, unsigned majors, unsigned minors, unsigned major_step,
                    unsigned minor_step, std::uint8_t* parity, bool put = false)
{
    const unsigned size = majors * minors;
    for (unsigned major = 0; major < majors; ++major) {
        unsigned index = (major >> 1) * major_step + (major & 1);
        std::uint8_t a = 0, b = 0;
        for (unsigned minor = 0; minor < minors; ++minor) {
            std::uint8_t byte = covered[index];
            index += minor_step;
            if (index >= size)
                index -= size;
            a = gf.times_x[a ^ byte];
            b ^= byte;
        }
        a = gf.over_x_plus_1[gf.times_x[a] ^ b];
        if (put) {
            parity[major] = a;
            parity[major + majors] = a ^ b;
        } else if (parity[major] != a || parity[major + majors] != (a ^ b)) {
            return false;
        }
    }
    return true;
}

// P and Q of a Form 1 sector, given its header (nullptr for Mode 2, which
// counts its header as zero bytes, so that a sector keeps its parity wherever
// it is written) and the bytes from the subheader on.
std::uint16_t parity_faults(const std::uint8_t* header, const std::uint8_t* body)
{
    std::array<std::uint8_t, raw_sector_size - header_at> from_header;
    if (header)
        std::memcpy(from_header.data(), header, 4);
    else
        std::fill_n(from_header.begin(), 4, 0);
    std::memcpy(from_header.data() + 4, body, from_header.size() - 4);
    std::uint8_t* c = from_header.data();
    std::uint16_t faults = 0;
    if (!parity_matches(c, 86, 24, 2, 86, c + p_covered))
        faults |= fault_p_parity;
    if (!parity_matches(c, 52, 43, 86, 88, c + q_covered))
        faults |= fault_q_parity;
    static_assert(86 * 24 == p_covered && 2 * 86 == p_bytes && 52 * 43 == q_covered && 2 * 52 == q_bytes);
    return faults;
}

std::uint32_t stored_edc(const std::uint8_t* at)
{
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

bool edc_matches(const std::uint8_t* sector, std::size_t from, std::size_t edc_at)
{
    return edc_update(0, {sector + from, edc_at - from}) == stored_edc(sector + edc_at);
}

std::optional<std::uint32_t> address_lba(const std::uint8_t* sector)
{
    return bcd_msf_lsn(sector[header_at], sector[header_at + 1], sector[header_at + 2]);
}

bool all_zero(std::span<const std::uint8_t> bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

// What the bytes from a Mode 2 sector's subheader on promise: two equal
// subheader copies, and the EDC (and for Form 1 the parity) of the form the
// subheader names.
std::uint16_t mode2_faults(const std::uint8_t* body)
{
    constexpr std::size_t at = subheader_at;  // the offsets above count from the sync
    std::uint16_t faults = 0;
    if (std::memcmp(body, body + 4, 4) != 0)
        faults |= fault_subheader;
    if (body[2] & submode_form2) {
        if (stored_edc(body + form2_edc_at - at) == 0)
            faults |= note_no_edc;
        else if (!edc_matches(body, 0, form2_edc_at - at))
            faults |= fault_edc;
    } else {
        if (!edc_matches(body, 0, form1_edc_at - at))
            faults |= fault_edc;
        faults |= parity_faults(nullptr, body);
    }
    return faults;
}

constexpr std::array<const char*, 10> fault_words = {
    "sync", "address", "mode byte", "subheader copies differ", "EDC", "P parity", "Q parity", "all zero",
    "cut short", "missing",
};

}  // namespace

void put_form1_parity(std::span<std::uint8_t, 2352> sector)
{
    std::uint8_t* c = sector.data() + header_at;
    std::array<std::uint8_t, 4> header;
    std::memcpy(header.data(), c, header.size());
    if (sector[mode_at] == 2)
        std::fill_n(c, header.size(), 0);
    parity_matches(c, 86, 24, 2, 86, c + p_covered, true);
    parity_matches(c, 52, 43, 86, 88, c + q_covered, true);
    std::memcpy(c, header.data(), header.size());
}

std::optional<std::uint32_t> header_lba(std::span<const std::uint8_t, 2352> sector)
{
    if (std::memcmp(sector.data(), sync_pattern.data(), sync_pattern.size()) != 0)
        return std::nullopt;
    return address_lba(sector.data());
}

std::uint16_t check_sector(std::span<const std::uint8_t, 2352> sector, std::optional<std::uint32_t> expected_lba,
                           std::uint8_t expected_mode)
{
    const std::uint8_t* s = sector.data();
    std::uint16_t faults = 0;
    if (std::memcmp(s, sync_pattern.data(), sync_pattern.size()) != 0) {
        if (all_zero(sector))
            return fault_blank;
        faults |= fault_sync;
    }
    if (expected_lba && address_lba(s) != expected_lba)
        faults |= fault_address;
    std::uint8_t mode = s[mode_at];
    if ((mode != 1 && mode != 2) || (expected_mode != 0 && mode != expected_mode))
        faults |= fault_mode;
    if (mode == 1) {
        if (!edc_matches(s, 0, mode1_edc_at))
            faults |= fault_edc;
        faults |= parity_faults(s + header_at, s + subheader_at);
    } else if (mode == 2) {
        faults |= mode2_faults(s + subheader_at);
    }
    return faults;
}

std::uint16_t check_stored_sector(const std::uint8_t* stored, const SectorFraming& framing,
                                  std::optional<std::uint32_t> expected_lba, std::uint8_t expected_mode)
{
    if (framing.raw_start == 0)
        return check_sector(std::span<const std::uint8_t, raw_sector_size>(stored, raw_sector_size), expected_lba,
                            expected_mode);
    if (all_zero({stored, framing.raw_bytes}))
        return fault_blank;
    return expected_mode == 1 ? std::uint16_t{fault_mode} : mode2_faults(stored);
}

void check_stored_sectors(std::span<const std::uint8_t> bytes, const SectorFraming& framing, std::uint32_t first_lba,
                          bool check_addresses, std::uint8_t expected_mode, SectorTally& tally)
{
    std::size_t count = bytes.size() / framing.stored_size;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t lba = first_lba + static_cast<std::uint32_t>(i);
        tally_sector(tally, lba,
                     check_stored_sector(bytes.data() + i * framing.stored_size, framing,
                                         check_addresses ? std::optional(lba) : std::nullopt, expected_mode));
    }
}

std::optional<std::uint32_t> anchor_lba(std::span<const std::uint8_t> raw)
{
    std::size_t count = raw.size() / raw_sector_size;
    auto sector = [&raw](std::size_t i) { return raw.subspan(i * raw_sector_size).first<raw_sector_size>(); };
    for (std::size_t i = 0; i < count; ++i) {
        std::optional<std::uint32_t> here = header_lba(sector(i));
        if (!here)
            continue;
        if (i + 1 < count) {
            std::optional<std::uint32_t> next = header_lba(sector(i + 1));
            if (!next || *next != *here + 1)
                continue;
        }
        return *here - static_cast<std::uint32_t>(i);
    }
    return std::nullopt;
}

void tally_missing(SectorTally& tally, std::uint32_t lba, std::uint32_t count)
{
    if (count == 0)
        return;
    tally.read += count;
    tally.damage.push_back({lba, count, fault_missing});
}

void tally_sector(SectorTally& tally, std::uint32_t lba, std::uint16_t faults)
{
    ++tally.read;
    if (!(faults & damage_faults)) {
        ++tally.whole;
        if (faults & note_no_edc)
            ++tally.without_edc;
        return;
    }
    faults &= damage_faults;
    if (!tally.damage.empty()) {
        DamageRange& last = tally.damage.back();
        if (last.faults == faults && last.first_lba + last.count == lba) {
            ++last.count;
            return;
        }
    }
    tally.damage.push_back({lba, 1, faults});
}

void check_sectors(std::span<const std::uint8_t> raw, std::uint32_t first_lba, bool check_addresses,
                   std::uint8_t expected_mode, SectorTally& tally)
{
    std::size_t count = raw.size() / raw_sector_size;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t lba = first_lba + static_cast<std::uint32_t>(i);
        std::uint16_t faults = check_sector(raw.subspan(i * raw_sector_size).first<raw_sector_size>(),
                                            check_addresses ? std::optional(lba) : std::nullopt, expected_mode);
        tally_sector(tally, lba, faults);
    }
}

std::string disc_time(std::uint32_t lba)
{
    unsigned address = lba + lead_in_sectors;
    char text[24];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", address / 4500, address / 75 % 60, address % 75);
    return text;
}

std::string fault_names(std::uint16_t faults)
{
    std::string out;
    for (std::size_t bit = 0; bit < fault_words.size(); ++bit)
        if (faults & (1u << bit))
            out.append(out.empty() ? "" : ", ").append(fault_words[bit]);
    return out;
}

std::string describe_range(const DamageRange& range)
{
    std::string out = disc_time(range.first_lba);
    if (range.count > 1)
        out += " to " + disc_time(range.first_lba + range.count - 1);
    out += ", " + std::to_string(range.count) + (range.count == 1 ? " sector: " : " sectors: ");
    return out + fault_names(range.faults);
}
