// A bare image: one file of sectors from the disc's first on, with nothing
// to say how they are stored but the bytes themselves.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "image/disc_image.h"
#include "image/image_format.h"

// Bytes of an image's start that tell its sector size: past the volume
// descriptor at sector 16 at the largest size.
inline constexpr std::size_t bare_probe_size = 18 * 2448;

// The stored sector size the bytes show: 2352 or 2448 where sync patterns
// stand at that stride, 2336 where the subheader copies agree sector after
// sector and the ISO 9660 volume descriptor lies at sector 16 at that size,
// 2048 where it lies there at 2048 bytes a sector; 2352 where nothing shows.
std::uint32_t bare_sector_size(std::span<const std::uint8_t> head);

// The sector size of the bare image at that path (2352 where it cannot be
// read: opening it then says why).
std::uint32_t probe_bare_image(const std::string& name);

// Opens a bare image at the size its bytes show. Every error ends the run.
DiscImage open_bare_image(const std::string& name);

// Claims every input: the last row of the registry.
extern const ImageFormat bare_format;
