// Nero images read from their own chunk list: where each track's sectors lie
// in the file. The sectors themselves are plain runs of the file, read the
// fast way like a BIN's.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "image/disc_image.h"
#include "image/image_format.h"
#include "image/track_layout.h"

// The last bytes of the image hold its footer: "NERO" and a 32-bit offset,
// or "NER5" and a 64-bit one, of the chunk list. `tail` is the image's last
// bytes (at most 12) and `chunks` the bytes from that offset to the footer,
// which the caller reads once the offset is known (nrg_chunk_offset).
std::uint64_t nrg_chunk_offset(std::span<const std::uint8_t> tail, std::uint64_t image_size, std::string& error);
// Its tracks as runs of the image, each track one run.
TrackLayout parse_nrg_chunks(std::span<const std::uint8_t> chunks, std::uint64_t chunk_offset);

// Whether an image's last bytes are a Nero footer.
bool has_nrg_footer(std::span<const std::uint8_t> tail);

// Opens a Nero image: its chunk list read and checked, its tracks as runs
// of the image. Every error ends the run.
DiscImage open_nrg_image(const std::string& name);

// Claims an image that ends in a Nero footer, or any NAME.nrg.
extern const ImageFormat nrg_format;
