// One model of every disc image: the files it reads, every disc sector
// mapped to (file, offset, stored size) and the tracks with their modes.
// CUE sheets of any sector size, cdrdao TOC files, Nero, CloneCD and
// Alcohol images, bare images and drives all open into it (image_formats.h);
// -disc2mpg and -verify read every sector through it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "image/track_layout.h"
#include "io/input_file.h"
#include "sector/formats.h"
#include "sector/framing.h"

// A file the image reads, or a source that is no file (a drive, an image
// libcdio reads): then `source` gives its bytes.
struct ImageFile {
    std::string path;
    std::uint64_t size = 0;
    ByteSource source;
};

// Disc sectors count from 0 at 00:02:00, where a disc image's first sector is.
struct DiscRun {
    std::uint32_t first_lsn = 0;
    std::uint32_t sectors = 0;
    std::uint16_t file = 0;      // which of the image's files holds them
    std::uint64_t offset = 0;    // byte offset of first_lsn in that file
    std::uint32_t sector_size = 2352;  // as stored: a size of sector_framings
    // Bytes of one more sector after the last whole one, where the file
    // ends inside it; that sector is read as cut short.
    std::uint32_t tail_bytes = 0;
};

struct DiscTrack {
    int number = 0;
    std::uint32_t first_lsn = 0;  // where the source starts it: its INDEX 00 where it gives one
    TrackMode mode = TrackMode::unknown;
    // INDEX 01 lies pregap sectors after first_lsn. Only a CUE sheet with an
    // INDEX 00 line states where the pregap starts; other sources start a
    // track at its INDEX 01.
    std::uint32_t pregap = 0;
    bool states_pregap = false;
};

// What an image reads its files through: a buffer of its own, so that any
// number of images can be open and read at once.
struct ImageReader {
    BlockReader file{io_block_size};
    std::size_t open_file = ~std::size_t{0};  // which of the image's files `file` holds
    std::array<std::uint8_t, raw_sector_size> whole{};  // a sector given its sync and header
};

// Sectors the image's own checks found damaged as they were read (a CHD's
// hunk that fails its CRC), named as the image knows them: "hunk 37: CRC".
// The source says each as it finds it unless -verify names them itself.
struct ImageDamage {
    std::uint32_t first_lsn = 0;
    std::uint32_t sectors = 0;
    std::string why;
};
struct ImageDamageLog {
    std::vector<ImageDamage> found;
    bool quiet = false;
};

struct DiscImage {
    std::vector<ImageFile> files;
    std::vector<DiscRun> runs;  // in disc order
    std::uint32_t sectors = 0;  // one past the last sector any run holds
    // Where each track starts and what it holds, in disc order; empty where
    // the source does not say (a bare image).
    std::vector<DiscTrack> tracks;
    // One past the last sector the descriptor promises (a track's INDEX
    // past the end of a BIN cut short); 0 where it promises nothing more
    // than the runs hold.
    std::uint32_t promised = 0;
    std::unique_ptr<ImageReader> reader = std::make_unique<ImageReader>();
    std::shared_ptr<ImageDamageLog> damage = std::make_shared<ImageDamageLog>();
};

// The run holding a disc sector, or nullptr.
const DiscRun* run_of(const DiscImage& image, std::uint32_t lsn);

// The framing of a run; every opener gives runs of the table's sizes only.
const SectorFraming& framing_of(const DiscRun& run);

// The image's reader, holding the image's file `file`; one that cannot be
// opened any more ends the run.
BlockReader& image_file(const DiscImage& image, std::size_t file);

// From here on the image's files are read through mapped windows (for jobs
// that only look at the bytes).
void map_image_files(const DiscImage& image);

// Closes the image's file, ending the run with a read error where part of
// it could not be read after all.
void close_image(const DiscImage& image);

// The raw sector at lsn (a sector stored without its sync and header gets
// those it has at that place; one stored as user data alone gets it at the
// user data's place); one outside the image ends the run. Valid until the
// next read.
const std::uint8_t* read_disc_sector(const DiscImage& image, std::uint32_t lsn);
// `count` raw sectors from lsn on, all in one run of the image, into dst
// (2352 bytes each), each framed as read_disc_sector frames it.
void read_disc_sectors(const DiscImage& image, std::uint32_t lsn, std::uint32_t count, std::uint8_t* dst);

// Appends the run; one that goes on where the run before ends in the same
// file joins it.
void append_run(DiscImage& image, const DiscRun& run);

// Appends a run of a file's sectors from `offset` on: `sectors` of them, or
// as many as the file holds (0). False when the run lies outside the file
// or the disc would pass 4 GiB of raw sectors.
bool add_image_run(DiscImage& image, std::uint16_t file, std::uint32_t first_lsn, std::uint32_t sectors,
                   std::uint64_t offset, std::uint32_t sector_size);

// The disc a descriptor describes, whose data file the caller has found and
// added as the image's file 0; the runs are checked against it. Returns the
// error in words, or nothing.
std::string image_of_layout(DiscImage& image, const TrackLayout& layout);

// The bytes of an image descriptor (a CloneCD sheet, an Alcohol descriptor);
// one that cannot be read, or is over 1 MiB, ends the run.
std::string read_descriptor(const std::string& path);

// An image of one file, measured; one that cannot be opened ends the run
// with the lines an unopenable input gets.
DiscImage image_of_file(const std::string& path);

struct ImageFormat;
// The disc a descriptor at `name` describes, its data file `data_file`
// beside it. Every error ends the run.
DiscImage open_described_image(const std::string& name, const ImageFormat& format, const TrackLayout& layout,
                               const std::string& data_file);
