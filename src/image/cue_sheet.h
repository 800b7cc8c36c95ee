// CUE sheets read from memory: the entries a sheet describes and the BIN
// images it names. Nothing here touches a file (sheet_files.h does).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sector/formats.h"

// Entries a sheet may hold, the data track's included.
inline constexpr std::size_t max_tracks = 99;

// One entry of a sheet: an INDEX line, with the TRACK line it came under.
struct TrackRecord {
    std::int16_t minutes = 0;
    std::int16_t seconds = 0;
    std::int16_t frames = 0;
    std::uint32_t sector_size = 0;
    std::uint64_t start_offset = 0;
    std::uint64_t end_offset = 0;
    // Which of the sheet's BINs the offsets count in.
    std::uint16_t bin = 0;
    // The TRACK line the entry's INDEX line came under: its number and the
    // fifth character of its type word ('1' for MODE1/2352, '2' for MODE2/2352).
    std::int16_t track_number = 0;
    char track_mode = 0;
    std::int16_t index_number = 1;  // 0 for a pregap's INDEX 00
};

// A BIN image a CUE sheet names, as found and measured.
struct BinImage {
    std::string path;
    std::uint64_t size = 0;
};

// Longest sheet the program reads; real sheets are a few KB.
inline constexpr std::uint64_t max_sheet_size = 1u << 20;

struct ParsedSheet {
    // BIN names as the FILE lines write them, quote marks removed.
    std::vector<std::string> bins;
    // One entry per INDEX line. Offsets count from the start of the entry's
    // own BIN; an entry followed by another in the same BIN ends one sector
    // short of it, the others keep end_offset 0 until set_entry_ends.
    std::vector<TrackRecord> entries;
    // The latest TRACK line's type word: its fifth character and its size.
    char mode_char = 0;
    std::uint32_t sector_size = 0;
    // Sectors from the start of the BIN of the latest INDEX line.
    std::int64_t last_position = 0;
    // An entry read before any FILE line ends at 0, as if its BIN were empty.
    bool end_cut = false;
    // The message that ends the run, when the sheet cannot be used.
    std::string error;
    // Set with that message where the sheet has a single track that is not
    // Mode 1: the CUE modes refuse it, a whole disc reads it like any other.
    bool one_track = false;
    // The first line a whole disc cannot be read by ("line 4: ..."): the
    // CUE modes read past it the lenient way, -verify and -disc2mpg refuse
    // the sheet for it.
    std::string disc_error;
};

// A sheet and the BINs it names, found and measured.
struct LoadedSheet {
    ParsedSheet sheet;
    std::vector<BinImage> bins;
};

ParsedSheet parse_cue_sheet(std::string_view text);

// Sets the end of each BIN's last entry to that BIN's last whole sector and
// cuts the other ends to their BIN's size. True when the sizes disagree with
// the sheet: a partial last sector, a cut end, an entry past its BIN's end.
bool set_entry_ends(std::span<TrackRecord> entries, std::span<const std::uint64_t> bin_sizes, bool end_cut);

// The second name tried for a BIN, and the one shown when it cannot be
// found: from the end back to the last '/', backslashes become slashes and
// letters lower case.
std::string rewrite_bin_name(std::string name);

// Sector size of a TRACK type word, or 0 for a word the program cannot use.
std::uint32_t track_type_sector_size(std::string_view word);

// The paths tried for a BIN the sheet at sheet_path names, in order: beside
// the sheet the name as written, then rewritten; the same two from the working
// folder; then the name without its folder part (either '/' or '\'
// separates) beside the sheet.
std::vector<std::string> bin_candidates(std::string_view sheet_path, std::string_view name);
