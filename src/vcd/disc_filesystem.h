// Reading a disc's description from the image: the ISO 9660 filesystem of
// its first track (its records read as libiso9660 lays them out) and the
// Video CD files in it.
#pragma once

#include "image/disc_image.h"
#include "vcd/disc_layout.h"

// The whole layout of the disc. A disc without a Video CD or SVCD info file,
// or whose description is damaged, ends the run with a line that says so
// (naming the input by `name`).
DiscLayout read_disc_description(const DiscImage& image, const std::string& name);
