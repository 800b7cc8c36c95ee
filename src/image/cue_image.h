// A CUE sheet and its BINs as a whole disc: the BINs lie one after another
// on the disc, the first sector of the first at 00:02:00.
#pragma once

#include <span>
#include <string>

#include "image/cue_sheet.h"
#include "image/disc_image.h"
#include "image/image_format.h"

// Each entry's stretch runs to the next entry of its BIN (the first from the
// BIN's start, the last to its end), read in the entry's sector size; a BIN
// the sheet gives no entry is read as the entry before it says, or the one
// after. A stretch that ends inside a sector ends in a sector cut short.
DiscImage image_of_sheet(const ParsedSheet& sheet, std::span<const BinImage> bins);

DiscImage open_cue_image(const std::string& name);

// Claims any NAME.cue.
extern const ImageFormat cue_format;
