// A disc image as the whole-disc mode reads it: every disc sector mapped to
// the file that holds it as a raw 2352-byte sector. A sheet with one BIN, a
// sheet with one BIN per track and a bare BIN are the same thing above this.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Disc sectors count from 0 at 00:02:00, where a disc image's first sector is.
struct DiscRun {
    std::uint32_t first_lsn = 0;
    std::uint32_t sectors = 0;
    std::uint16_t bin = 0;       // which of bin_images holds them
    std::uint64_t offset = 0;    // byte offset of first_lsn in that file
    // 2352 for raw sectors; 2336 where the file keeps each sector from its
    // subheader on, as some cdrdao images do.
    std::uint32_t sector_size = 2352;
};

struct DiscTrackStart {
    int number = 0;
    std::uint32_t first_lsn = 0;
};

struct DiscImage {
    std::vector<DiscRun> runs;  // in disc order, each starting where the one before ends
    std::uint32_t sectors = 0;
    // Where each track starts, where the source says (TOC files, libcdio's
    // sources); empty for CUE sheets and bare images.
    std::vector<DiscTrackStart> tracks;
};

// Whether a name is taken as a CUE sheet (its extension is .cue in any case).
bool is_cue_sheet_name(const std::string& name);

// The runs of BINs that follow each other on the disc, the first at 00:02:00.
DiscImage disc_image_of_bins(const std::vector<std::uint64_t>& bin_sizes);

// Whether a name is one of the images only the whole-disc reader takes: a
// cdrdao TOC file, a Nero image, a drive.
bool names_a_disc_image(const std::string& name);

// Opens input_name, a CUE sheet, a TOC file, a Nero image, a drive or a bare
// raw image, and maps its sectors.
// Every error ends the run.
DiscImage open_disc_image();

// The run holding a disc sector, or nullptr.
const DiscRun* run_of(const DiscImage& image, std::uint32_t lsn);

// The raw sector at lsn, read through the run's input (a sector kept without
// its sync and header gets those it would have at that place); one outside
// the image ends the run. Valid until the next read.
const std::uint8_t* read_disc_sector(const DiscImage& image, std::uint32_t lsn);
