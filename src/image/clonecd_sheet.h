// CloneCD sheets (NAME.ccd) read from memory. The sheet is an INI-style
// text: one [Entry n] section per entry of the disc's table of contents
// (points 1 to 99 are tracks, point 0xA2 the lead-out) and one [TRACK n]
// section per track with its mode and index positions. NAME.img beside it
// holds every sector as raw 2352 bytes from disc sector 0 on, so the layout
// has one run and leaves data_file empty; NAME.sub (subchannel) is not read.
#pragma once

#include <string_view>

#include "image/disc_image.h"
#include "image/image_format.h"
#include "image/track_layout.h"

TrackLayout parse_clonecd_sheet(std::string_view text);

// Opens NAME.ccd with NAME.img beside it (NAME.sub is not needed). Every
// error ends the run.
DiscImage open_clonecd_image(const std::string& name);

// Claims a sheet that opens with its [CloneCD] section, or any NAME.ccd.
extern const ImageFormat clonecd_format;
