// Alcohol 120% descriptors (NAME.mds) read from memory. The descriptor is
// little-endian binary: a header, one block per session, per session a list
// of 80-byte blocks for the entries of the table of contents (points 0xA0 to
// 0xA2, then the tracks), and per track an extra block with its length and a
// footer naming the data file (NAME.mdf) that holds its sectors, raw with or
// without 96 bytes of subchannel after each.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "image/disc_image.h"
#include "image/image_format.h"
#include "image/track_layout.h"

// mds_name is the descriptor's own name, for a data file named "*.mdf"
// (NAME.mdf beside it). data_file is a bare file name, without a folder.
TrackLayout parse_alcohol_descriptor(std::span<const std::uint8_t> mds, std::string_view mds_name);

// Opens NAME.mds with the data file it names beside it. Every error ends
// the run.
DiscImage open_alcohol_image(const std::string& name);

// Claims a descriptor that opens with "MEDIA DESCRIPTOR", or any NAME.mds.
extern const ImageFormat alcohol_format;
