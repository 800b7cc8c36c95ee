// Sizes fixed by the Video CD formats, and the bounds this program works in.
#pragma once

#include <cstdint>

// A raw CD sector: 12 bytes of sync, 4 of header, 8 of subheader, 2324 of
// Form 2 user data and 4 of EDC.
inline constexpr std::uint32_t raw_sector_size = 2352;
// A CIF sector keeps only the subheader and the user data.
inline constexpr std::uint32_t cif_sector_size = 2332;
// Form 2 user data, which is also the size of one MPEG block on a Video CD.
inline constexpr std::uint32_t form2_data_size = 2324;
// Mode 1 user data.
inline constexpr std::uint32_t mode1_data_size = 2048;
// Where the user data starts in a raw Mode 2 sector.
inline constexpr std::uint32_t form2_data_offset = 24;

// The first subheader's submode byte in a raw Mode 2 sector (after 12 bytes
// of sync, 4 of header, the file and channel numbers), and its bits.
inline constexpr std::uint32_t submode_offset = 18;
inline constexpr std::uint8_t submode_payload = 0x02 | 0x04 | 0x08;  // video, audio, data
inline constexpr std::uint8_t submode_trigger = 0x10;                // an auto-pause point
inline constexpr std::uint8_t submode_form2 = 0x20;

// Largest read of one engine step; also the bound of every sector size.
inline constexpr std::uint32_t sector_buffer_size = 32705;

// MSF positions: 75 frames a second, 60 seconds a minute.
inline constexpr std::int64_t frames_per_second = 75;
inline constexpr std::int64_t frames_per_minute = 60 * frames_per_second;
