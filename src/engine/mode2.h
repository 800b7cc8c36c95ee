// Mode 2 Form 2 sectors and the RIFF "CDXA" container of .dat files.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "io/output_file.h"

enum class Framing : std::uint8_t {
    plain_bytes,    // the bytes of each chunk as they stand
    mode2_sectors,  // a .dat lead-in, then each chunk as a Mode 2 sector's user data
};

extern const std::array<std::uint8_t, 44> dat_header;

// CD-ROM EDC (ECMA-130): CRC-32 over the given bytes, least significant bit
// first, polynomial x^32+x^31+x^16+x^15+x^4+x^3+x+1, starting from zero.
std::uint32_t cd_edc(std::span<const std::uint8_t> bytes);

// The address of the next sector a .dat output gets; starts every copy at
// 00:08:12, the position that follows the disc's lead-in area.
void reset_msf_counter();

// The header and 30 empty sectors that open every .dat file built from MPEG.
void write_dat_lead_in(BlockWriter& out);

// One data sector around 2324 bytes of MPEG user data.
void write_mode2_sector(BlockWriter& out, const std::uint8_t* user_data);
