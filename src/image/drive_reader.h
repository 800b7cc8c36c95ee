// Discs read sector by sector from a device that hands out Mode 2 sectors
// without their sync and header (a drive, an image libcdio reads), seen as
// a raw image of 2352-byte sectors: each sector gets the sync and header it
// has at its place.
#pragma once

#include <cstdint>
#include <functional>

#include "io/input_file.h"

// Reads `count` sectors from lsn on, 2336 bytes each, into dst; false when
// the device could not.
using Mode2Reads = std::function<bool(std::uint8_t* dst, std::uint32_t lsn, std::uint32_t count)>;

// How many tries a sector gets before it is written as damage.
inline constexpr int drive_read_tries = 3;
// Sectors asked of the device at once.
inline constexpr std::uint32_t drive_batch_sectors = 64;

// The bytes of a disc of `sectors` sectors as raw sectors. Sectors are asked
// for in batches; where a batch fails, each of its sectors is tried on its
// own, and one that never reads is all zeros (which no check takes for a
// whole sector) with a line that says so.
ByteSource drive_byte_source(Mode2Reads reads, std::uint32_t sectors);
