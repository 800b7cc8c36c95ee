// Nero images read from their own chunk list: where each track's sectors lie
// in the file. The sectors themselves are plain runs of the file, read the
// fast way like a BIN's.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "image/disc_image.h"

struct NrgTrack {
    std::uint64_t offset = 0;       // bytes into the image
    std::uint32_t sectors = 0;
    std::uint32_t sector_size = 0;  // as stored: 2352 raw, 2336 from the subheader on, 2448, 2048
    std::uint32_t first_lsn = 0;    // where its first stored sector lies on the disc
    TrackMode mode = TrackMode::unknown;
};

struct NrgLayout {
    std::vector<NrgTrack> tracks;  // in disc order
    std::string error;             // empty when the image can be read
};

// The last bytes of the image hold its footer: "NERO" and a 32-bit offset,
// or "NER5" and a 64-bit one, of the chunk list. `tail` is the image's last
// bytes (at most 12) and `chunks` the bytes from that offset to the footer,
// which the caller reads once the offset is known (nrg_chunk_offset).
std::uint64_t nrg_chunk_offset(std::span<const std::uint8_t> tail, std::uint64_t image_size, std::string& error);
NrgLayout parse_nrg_chunks(std::span<const std::uint8_t> chunks, std::uint64_t chunk_offset);

// Whether an image's last bytes are a Nero footer.
bool has_nrg_footer(std::span<const std::uint8_t> tail);

// Opens a Nero image: its chunk list read and checked, its tracks as runs
// of the image. Every error ends the run.
DiscImage open_nrg_image(const std::string& name);
