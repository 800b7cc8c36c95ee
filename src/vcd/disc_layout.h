// What a Video CD or SVCD says of itself: its ISO 9660 filesystem and its
// info files, read into one plain value. Everything the whole-disc mode
// prints or writes (the report, the disc description, the chapters) comes
// from this value; the copies take their sector ranges from it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class DiscKind : std::uint8_t { vcd10, vcd11, vcd20, svcd, hqvcd };

// Disc sectors are counted as logical sectors: 0 is the sector at 00:02:00.
struct DiscFile {
    std::string path;  // as the directory names it, without ";1": "MPEGAV/AVSEQ01.DAT"
    std::uint32_t lsn = 0;
    std::uint32_t size = 0;     // bytes, as the directory gives them
    std::uint32_t sectors = 0;  // sectors the extent spans
    bool form2 = false;         // a Mode 2 Form 2 (XA "mixed") file: sectors of 2324 bytes
    bool directory = false;
};

// An entry point of ENTRIES.VCD / ENTRIES.SVD.
struct DiscEntry {
    std::uint8_t track = 0;  // CD track, 2 and up
    std::uint32_t lsn = 0;
};

struct SequenceItem {
    std::string name;       // "avseq01.mpg"
    std::string disc_path;  // "MPEGAV/AVSEQ01.DAT", empty when the filesystem names none
    std::uint8_t track = 0;
    // The sectors to look in: the file's extent, or the track's when there is no file.
    std::uint32_t first_lsn = 0;
    std::uint32_t sectors = 0;
    // Indexes into DiscLayout::entries, in disc order; the first is the default entry.
    std::vector<std::uint16_t> entries;
};

// The contents byte of the info file's segment table, split into its fields.
struct SegmentItem {
    std::string name;       // "item0001.mpg"
    std::string disc_path;  // "SEGMENT/ITEM0001.MPG", empty when the filesystem names none
    std::uint16_t number = 0;  // 1 and up: play item 999 + number
    std::uint32_t first_lsn = 0;
    std::uint32_t sectors = 0;  // 150 for every segment the item spans
    std::uint8_t audio_type = 0;  // 0 none, 1 one stream, 2 two streams, 3 multi-channel
    std::uint8_t video_type = 0;  // 0 none, 1/5 still, 2/6 hi-res still, 3/7 motion (NTSC/PAL)
    std::uint8_t ogt = 0;
};

struct DiscLayout {
    DiscKind kind = DiscKind::vcd20;
    // Info file fields.
    std::string album_id;
    unsigned volume_count = 0;
    unsigned volume_number = 0;
    unsigned restriction = 0;
    bool use_lid2 = false;
    bool use_track3 = false;
    bool pbc_x = false;
    std::uint8_t offset_multiplier = 8;
    std::uint16_t lot_entries = 0;
    // Primary volume descriptor fields, trailing spaces removed.
    std::string volume_id;
    std::string system_id;
    std::string application_id;
    std::string preparer_id;
    std::string publisher_id;
    std::string volume_set_id;

    std::vector<DiscEntry> entries;
    std::vector<SequenceItem> sequences;
    std::vector<SegmentItem> segments;
    // Every file and folder of the filesystem, parents before children.
    std::vector<DiscFile> files;

    // The info files as the disc holds them, for what only they say.
    std::vector<std::uint8_t> info_file;
    std::vector<std::uint8_t> entries_file;
    // Playback control (empty when the disc has none): the descriptor file
    // and its list offset table, PSD.VCD/LOT.VCD or PSD.SVD/LOT.SVD, and the
    // extended pair from EXT/ where present.
    std::vector<std::uint8_t> psd;
    std::vector<std::uint8_t> lot;
    std::vector<std::uint8_t> psd_x;
    std::vector<std::uint8_t> lot_x;

    // Sectors the image holds; every range above lies below it.
    std::uint32_t image_sectors = 0;
};

// Fills in the disc's kind, info fields, entries, sequences and segment
// items from info_file, entries_file and files, which the caller has read,
// with image_sectors set. Returns what is wrong with them, or nothing; every
// range the result holds lies inside the image.
std::string read_disc_layout(DiscLayout& layout);

// "VCD 1.1", "VCD 2.0", "SVCD", "HQVCD".
const char* disc_kind_name(DiscKind kind);
