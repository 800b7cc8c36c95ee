// cdrdao TOC files read from memory: which data files hold the disc's
// sectors, in disc order. Only what a Video CD image needs is taken in the
// fast way (Mode 2 tracks whose sectors are runs of data files, raw or from
// the subheader on); anything else is said, so that the image can be read
// through libcdio instead.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/disc_image.h"
#include "image/image_format.h"

// A run of raw sectors of one data file.
struct TocPiece {
    std::string file;         // as the TOC writes it
    std::uint64_t offset = 0;  // bytes into the file
    // Sectors, or 0 for the rest of the file (a DATAFILE without a length,
    // as vcdimager writes them).
    std::uint32_t sectors = 0;
    // 2352 for raw sectors (MODE2_RAW), 2336 for sectors kept from their
    // subheader on (MODE2, MODE2_FORM_MIX).
    std::uint32_t sector_size = 2352;
    std::uint32_t track = 0;  // 1 and up
};

struct TocSheet {
    std::vector<TocPiece> pieces;  // in disc order, without gaps
    std::uint32_t tracks = 0;
    // Why the fast way does not fit (a track of another mode, a stretch of
    // zeros or silence, a FIFO), or a syntax error; empty when it fits.
    std::string unsupported;
};

TocSheet parse_toc(std::string_view text);

// Opens a TOC file: the fast way where parse_toc takes it, through libcdio
// where it does not. Every error ends the run.
DiscImage open_toc_image(const std::string& name);

// Claims any NAME.toc.
extern const ImageFormat toc_format;
