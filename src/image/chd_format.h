// The parts of a CHD (MAME's "compressed hunks of data") that say where
// everything is: the version 5 header, the map of hunks and the CD track
// metadata. Pure functions of the bytes given; the opener (chd_image.h)
// reads them from the file and decodes the hunks (chd_hunks.h).
//
// A CD in a CHD is a row of 2448-byte frames (2352 of sector, 96 of
// subchannel), each track padded to a multiple of four frames; a hunk holds
// a whole number of frames.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "image/track_layout.h"

inline constexpr std::size_t chd_header_size = 124;
inline constexpr const char* chd_map_past_end_text = "its hunk map lies past its end";
inline constexpr std::uint32_t chd_frame_size = 2448;
inline constexpr std::uint32_t chd_sector_bytes = 2352;

struct ChdHeader {
    std::array<std::uint32_t, 4> codecs{};  // four-letter tags, big-endian; 0 where unused
    std::uint64_t logical_bytes = 0;
    std::uint64_t map_offset = 0;
    std::uint64_t meta_offset = 0;
    std::uint32_t hunk_bytes = 0;
    std::uint32_t unit_bytes = 0;
    std::uint32_t hunks = 0;
};

// The header from the file's first bytes; the error in words (an older
// version, a CHD that needs a parent, hunks that are no CD frames) or
// nothing.
std::string parse_chd_header(std::span<const std::uint8_t> head, std::uint64_t file_size, ChdHeader& header);

// How one hunk is kept: by one of the header's codecs (0 to 3), as it is, or
// as a copy of an earlier hunk.
enum class HunkStore : std::uint8_t { codec0, codec1, codec2, codec3, plain, copy };

struct HunkEntry {
    HunkStore store = HunkStore::plain;
    std::uint32_t length = 0;  // stored bytes
    std::uint64_t offset = 0;  // in the file
    std::uint16_t crc = 0;     // CRC-16 of the decoded hunk
    bool zeros = false;        // an unstored hunk of an uncompressed CHD: all zero
};

// The bytes of the map that the header points at: for a compressed CHD its
// 16-byte head and the coded map (map_bytes_wanted says how many to read);
// for an uncompressed one a 4-byte entry a hunk. Each copy is resolved to
// the hunk it copies. The error in words, or nothing; every entry lies in
// the file and names a codec the header lists.
std::uint64_t chd_map_bytes_wanted(const ChdHeader& header, std::span<const std::uint8_t> map_head);
std::string parse_chd_map(std::span<const std::uint8_t> map, const ChdHeader& header, std::uint64_t file_size,
                          std::vector<HunkEntry>& entries);

// CRC-16 (CCITT: polynomial 0x1021, from 0xFFFF, most significant bit first).
std::uint16_t chd_crc16(std::span<const std::uint8_t> bytes);

// Where a track's sectors lie among the frames, and as what they are given:
// `size` bytes a sector (2352, 2448 with subchannel, 2336, 2048), audio
// with its bytes swapped back.
struct ChdRegion {
    std::uint64_t first_frame = 0;
    std::uint32_t frames = 0;
    std::uint32_t size = 2352;
    bool audio = false;
    std::uint64_t at = 0;  // where its sectors start in the image given
};

struct ChdLayout {
    std::vector<ChdRegion> regions;
    TrackLayout layout;  // runs of the image given, one a region, and the tracks
    std::uint64_t frames = 0;  // with the padding
};

// The tracks from the texts of the CHT2 (or older CHTR) metadata entries,
// in the order they come; the layout's error says what is wrong.
ChdLayout chd_layout(const std::vector<std::string>& track_texts);
