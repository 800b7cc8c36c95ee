// What a raw 2352-byte CD sector promises about itself, checked: sync,
// header address and mode, the two subheader copies of Mode 2, the EDC and,
// for Form 1, the P and Q parity. Runs of damaged sectors are gathered into
// ranges for the report. Pure functions of the bytes given.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sector/framing.h"

// One bit per thing a sector can get wrong.
enum SectorFault : std::uint16_t {
    fault_sync = 1u << 0,
    fault_address = 1u << 1,    // header MSF not valid BCD, or not the sector's place
    fault_mode = 1u << 2,       // mode byte not 1 or 2, or not the track's
    fault_subheader = 1u << 3,  // the two Mode 2 subheader copies differ
    fault_edc = 1u << 4,
    fault_p_parity = 1u << 5,
    fault_q_parity = 1u << 6,
    // Every byte zero: what dd conv=sync and rescue tools leave for a sector
    // they could not read (vcdimager writes real empty sectors in gaps).
    fault_blank = 1u << 7,
    fault_cut_short = 1u << 8,  // the image ends inside the sector
    fault_missing = 1u << 9,    // the image ends before the sector its sheet or filesystem promises
    // Not damage: a Form 2 sector whose EDC field is zero, "not computed".
    note_no_edc = 1u << 15,
};
inline constexpr std::uint16_t damage_faults = 0x7FFF;

// The faults of one sector. expected_lba is its place on the disc (logical
// block address; the header holds LBA + 150 as BCD minute, second, frame),
// nullopt where nothing is known. expected_mode is the track's mode, or 0
// for either of 1 and 2.
std::uint16_t check_sector(std::span<const std::uint8_t, 2352> sector, std::optional<std::uint32_t> expected_lba,
                           std::uint8_t expected_mode = 0);

// Writes the P and Q parity of a raw Mode 1 or Form 1 sector (a Mode 2
// sector's header counts as zeros).
void put_form1_parity(std::span<std::uint8_t, 2352> sector);

// The LBA a sector's header names, when its sync and BCD address are sound.
std::optional<std::uint32_t> header_lba(std::span<const std::uint8_t, 2352> sector);

// The place of the first of these raw sectors as their headers tell it: from
// the first sector with a sound header whose successor carries the next
// address (or that is the last one). nullopt when there is none.
std::optional<std::uint32_t> anchor_lba(std::span<const std::uint8_t> raw);

// The faults of a sector stored as `framing` says. Where the image kept no
// sync and header, only what the rest promises is checked (a Mode 1 track
// cannot be stored so: its sectors then count as of the wrong mode).
std::uint16_t check_stored_sector(const std::uint8_t* stored, const SectorFraming& framing,
                                  std::optional<std::uint32_t> expected_lba, std::uint8_t expected_mode);

// Consecutive sectors with the same faults make one range.
struct DamageRange {
    std::uint32_t first_lba = 0;
    std::uint32_t count = 0;
    std::uint16_t faults = 0;
};

// What one track (or any stretch of sectors) came to.
struct SectorTally {
    std::uint64_t read = 0;
    std::uint64_t whole = 0;
    std::uint64_t without_edc = 0;  // whole Form 2 sectors whose EDC was not computed
    std::uint64_t unchecked = 0;    // read but without a sector structure to check (audio, cooked sizes)
    std::vector<DamageRange> damage;
};

void tally_sector(SectorTally& tally, std::uint32_t lba, std::uint16_t faults);
// Adds `count` sectors from lba on that the image does not hold.
void tally_missing(SectorTally& tally, std::uint32_t lba, std::uint32_t count);

// Checks raw.size() / 2352 whole sectors, the first at first_lba, and adds
// them to the tally. With check_addresses false the headers' addresses are
// not compared (first_lba still places the damage in the report).
void check_sectors(std::span<const std::uint8_t> raw, std::uint32_t first_lba, bool check_addresses,
                   std::uint8_t expected_mode, SectorTally& tally);

// check_sectors for sectors stored as `framing` says, one after another.
void check_stored_sectors(std::span<const std::uint8_t> bytes, const SectorFraming& framing, std::uint32_t first_lba,
                          bool check_addresses, std::uint8_t expected_mode, SectorTally& tally);

// "MM:SS:FF", the disc time of the sector at lba (LBA 0 is 00:02:00).
std::string disc_time(std::uint32_t lba);
// The faults in words: "EDC, Q parity".
std::string fault_names(std::uint16_t faults);
// "00:04:10 to 00:04:12, 3 sectors: EDC" or "00:04:10, 1 sector: sync".
std::string describe_range(const DamageRange& range);
