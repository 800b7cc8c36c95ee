// Builders for the material the tests feed to mivaro: MPEG packs, raw and
// CIF sectors and .dat files.
#pragma once

#include <cstdint>
#include <string>

#include "bytes.h"

inline constexpr std::size_t block_size = 2324;   // Form 2 user data, one MPEG block
inline constexpr std::size_t sector_bytes = 2352;  // raw sector

// A 2324-byte block that opens with a pack header (00 00 01 BA 21) followed
// by filler that holds no 00, 01 or FF byte, so it contains no other start
// code and never looks padded. Different serials give different filler.
Bytes mpeg_block(unsigned serial);
// The same with 0xFF from byte 34 on: a padded pack.
Bytes padded_block(unsigned serial);
// Filler whose bytes 2 to 4 are all unlike 01 BA 21: the repair loop's
// "broken" block.
Bytes broken_block(unsigned serial);
// Blocks serial, serial+1, ... concatenated.
Bytes mpeg_stream(std::size_t blocks, unsigned first_serial = 0);
// Filler with no start code in it.
Bytes filler(std::size_t n, unsigned serial = 99);
inline Bytes zeros(std::size_t n) { return Bytes(n, 0); }

// Each 2324 bytes of data (the last block zero-padded) in its own raw Mode 2
// Form 2 sector, addressed from first_lba on; or in a CIF sector (subheader
// and user data only).
Bytes track_sectors(const Bytes& data, bool raw, std::uint32_t first_lba);
inline Bytes raw_track(const Bytes& data, std::uint32_t first_lba = 0) { return track_sectors(data, true, first_lba); }
inline Bytes cif_track(const Bytes& data) { return track_sectors(data, false, 0); }
// `count` raw Mode 1 sectors of filler from first_lba on, EDC and P and Q
// parity computed as ECMA-130 gives them.
Bytes mode1_sectors(std::size_t count, std::uint32_t first_lba = 0);
// The 44-byte RIFF CDXA header, then the given sectors.
extern const Bytes dat_header_bytes;
inline Bytes dat_file(const Bytes& sectors) { return concat({dat_header_bytes, sectors}); }

// The banner block every run starts with: blank line, banner, blank line.
inline const std::string banner = "\nMivaro v1.5\n\n";

