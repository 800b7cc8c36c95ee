// videocd.xml: a Video CD or SVCD described in the XML that vcdxbuild
// reads, naming the item copies and the other files of the filesystem
// written beside it, so that vcdxbuild run in that folder makes the disc
// again (byte for byte when vcdxbuild made the original, given its -T time).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "vcd/disc_layout.h"
#include "vcd/disc_timing.h"
#include "vcd/playback.h"

// A file of the filesystem that the disc holds besides the Video CD's own
// folders; `src` is the name its copy gets beside videocd.xml.
struct ExtraFile {
    std::size_t file = 0;  // index into DiscLayout::files
    std::string src;
};
// The files (not folders) to copy beside videocd.xml, in layout order.
std::vector<ExtraFile> description_extra_files(const DiscLayout& layout);

// The text of videocd.xml. `control` may be null (no playback control, or
// one that could not be read). An entry without a time in `timing` is left
// out.
std::string disc_description_text(const DiscLayout& layout, const PlaybackControl* control,
                                  const DiscTiming& timing);
