// cdrdao TOC files read from memory: which data files hold the disc's
// sectors, in disc order. Tracks whose sectors are runs of data files in a
// size a disc image can hold are read; anything else is refused with its
// reason.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/disc_image.h"
#include "image/image_format.h"

// A run of sectors of one data file, or of none.
struct TocPiece {
    // As the TOC writes it; empty for sectors no file holds (PREGAP, ZERO,
    // SILENCE), which the disc has there.
    std::string file;
    std::uint64_t offset = 0;  // bytes into the file
    // Sectors, or 0 for the rest of the file (a DATAFILE without a length,
    // as vcdimager writes them).
    std::uint32_t sectors = 0;
    // 2352 for raw sectors (MODE2_RAW, MODE1_RAW, AUDIO), 2336 for sectors
    // kept from their subheader on (MODE2, MODE2_FORM_MIX), 2048 for user
    // data alone (MODE1, MODE2_FORM1); 96 more with subchannel (RW, RW_RAW).
    std::uint32_t sector_size = 2352;
    std::uint32_t track = 0;  // 1 and up
    TrackMode mode = TrackMode::mode2;
};

struct TocSheet {
    std::vector<TocPiece> pieces;  // in disc order
    std::uint32_t tracks = 0;
    // Why the fast way does not fit (a track of another mode, a FIFO, a
    // WAVE file), or a syntax error; empty when it fits.
    std::string unsupported;
};

TocSheet parse_toc(std::string_view text);

// Opens a TOC file that parse_toc takes. Every error ends the run.
DiscImage open_toc_image(const std::string& name);

// Claims any NAME.toc.
extern const ImageFormat toc_format;
