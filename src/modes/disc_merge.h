// Several reads of one disc merged sector by sector: each sector of the
// result is the first copy whose own checks hold, else the copy most reads
// agree on byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "image/disc_image.h"

// What the result holds at a sector, as a ddrescue mapfile marks it.
enum class Kept : char { whole = '+', damaged = '-', unread = '?' };

struct SectorChoice {
    std::size_t source = 0;  // whose copy
    Kept kept = Kept::unread;
    std::uint16_t faults = 0;  // the chosen copy's, where it is damaged
};

// What a track's sectors can be checked for: nothing (audio), or their mode
// (1, 2, or 0 for either).
inline constexpr std::uint8_t nothing_to_check = 0xFF;
std::uint8_t checks_of(TrackMode mode);

// Chooses among the copies of the sector at lsn (nullptr where a source
// does not hold it): the first whose checks hold where the sector carries
// checks; where it carries none (audio, a Form 2 sector whose EDC was not
// computed) the copy most of those whose checks hold agree on, the earliest
// on a tie; where no copy holds, the one most copies agree on, damaged.
SectorChoice choose_copy(std::span<const std::uint8_t* const> copies, std::uint32_t lsn, std::uint8_t checks);

// Why two reads are not of the same disc (their track lists, or their
// whole volume descriptors at sector 16 differ), or nothing. A track start
// a read does not state (an INDEX 00 a bare or CloneCD image cannot carry)
// is no difference.
std::string disc_difference(const DiscImage& a, const DiscImage& b);
