// What every layout a descriptor parser gives must be: an error and nothing
// else, or tracks numbered one after another in disc order and runs in disc
// order that do not overlap, inside a CD, with a sector size the image
// readers know. The tests and the fuzz target hold the parsers to it.
#pragma once

#include <cstdint>

#include "image/track_layout.h"

inline bool consistent_layout(const TrackLayout& layout)
{
    constexpr std::uint64_t most_sectors = 450000;
    if (!layout.error.empty())
        return layout.runs.empty() && layout.tracks.empty() && layout.data_file.empty();
    for (std::size_t i = 0; i < layout.tracks.size(); ++i)
        if (layout.tracks[i].number < 1 || layout.tracks[i].number > 99 || layout.tracks[i].first_lsn > most_sectors ||
            (i > 0 && (layout.tracks[i].number != layout.tracks[i - 1].number + 1 ||
                       layout.tracks[i].first_lsn <= layout.tracks[i - 1].first_lsn)))
            return false;
    for (std::size_t i = 0; i < layout.runs.size(); ++i) {
        const ImageRun& run = layout.runs[i];
        if ((run.sector_size != 2352 && run.sector_size != 2448) || std::uint64_t{run.first_lsn} + run.sectors > most_sectors ||
            run.offset + std::uint64_t{run.sectors} * run.sector_size < run.offset)
            return false;
        if (i + 1 < layout.runs.size() &&
            (run.sectors == 0 || std::uint64_t{run.first_lsn} + run.sectors > layout.runs[i + 1].first_lsn))
            return false;
    }
    return !layout.tracks.empty() && !layout.runs.empty();
}
