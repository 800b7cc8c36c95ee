// Places on a CD: minute, second and frame (MSF) as the sector headers and
// the Video CD info files write them in BCD, and the sync and header that
// open every raw data sector.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "sector/formats.h"

// Logical sector 0 lies at 00:02:00, after the 150 sectors of the first
// track's pregap that no image holds.
inline constexpr std::uint32_t lead_in_sectors = 150;

inline constexpr std::array<std::uint8_t, 12> sync_pattern = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                              0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

constexpr std::uint8_t to_bcd(unsigned value)
{
    return static_cast<std::uint8_t>((value / 10) << 4 | (value % 10));
}

constexpr bool is_bcd(std::uint8_t value)
{
    return (value >> 4) <= 9 && (value & 0x0F) <= 9;
}

constexpr unsigned from_bcd(std::uint8_t value)
{
    return (value >> 4) * 10u + (value & 0x0Fu);
}

// The logical sector of a BCD minute, second and frame; nothing where one
// of them is no BCD number or out of its range. Addresses below 00:02:00
// wrap around (and wrap back when 150 is added).
constexpr std::optional<std::uint32_t> bcd_msf_lsn(std::uint8_t m, std::uint8_t s, std::uint8_t f)
{
    if (!is_bcd(m) || !is_bcd(s) || !is_bcd(f) || from_bcd(s) >= 60 || from_bcd(f) >= 75)
        return std::nullopt;
    return static_cast<std::uint32_t>((from_bcd(m) * 60 + from_bcd(s)) * frames_per_second + from_bcd(f)) -
           lead_in_sectors;
}

// Writes the sync and the Mode 2 header (BCD address, mode 2) that the
// sector at lsn has on the disc, where an image kept no copy of them.
void put_sector_header(std::uint8_t* sector, std::uint32_t lsn);
