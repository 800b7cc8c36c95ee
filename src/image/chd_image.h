// CHD images of CDs (as chdman createcd writes them) opened into the one
// disc model: the image's one file is a source that gives the frames of the
// hunks, decoded on every core ahead of the reading, as the raw image they
// were made from; runs and tracks come from the track metadata.
#pragma once

#include <string>

#include "image/disc_image.h"
#include "image/image_format.h"

// Opens a CHD: header, hunk map and tracks read and checked, every hunk
// lying in the file. Every error ends the run.
DiscImage open_chd_image(const std::string& name);

// Claims an image that starts "MComprHD", or any NAME.chd.
extern const ImageFormat chd_format;
