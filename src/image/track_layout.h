// What an image descriptor (a CloneCD sheet, an Alcohol descriptor, a Nero
// chunk list) says about the disc it describes: which bytes of the data file
// hold which disc sectors, and where each track starts and of what kind it
// is. Parsers fill it from the descriptor's bytes alone; the opener checks
// every run against the data file before a sector is read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class TrackMode : std::uint8_t { audio, mode1, mode2, unknown };

struct TrackStart {
    int number = 0;               // 1 to 99
    std::uint32_t first_lsn = 0;  // disc sector of its index 1 (0 is 00:02:00), or of its stored pregap
    TrackMode mode = TrackMode::unknown;
    std::uint32_t pregap = 0;  // sectors from first_lsn to index 1, where the descriptor stores a pregap
    bool states_pregap = false;
};

// Sectors first_lsn, first_lsn + 1, ... stored one after another in the data
// file from byte `offset` on, each `sector_size` bytes long.
struct ImageRun {
    std::uint32_t first_lsn = 0;
    std::uint32_t sectors = 0;  // 0: as many as the data file holds from offset on
    std::uint64_t offset = 0;
    std::uint32_t sector_size = 2352;  // 2352, 2336, 2448 (2352 + 96 of subchannel) or 2048
};

struct TrackLayout {
    // The data file as the descriptor names it; empty where the format
    // fixes it (NAME.img beside NAME.ccd).
    std::string data_file;
    std::vector<ImageRun> runs;      // in disc order, not overlapping
    std::vector<TrackStart> tracks;  // in disc order
    std::string error;               // why the descriptor cannot be used; empty when it can
};
