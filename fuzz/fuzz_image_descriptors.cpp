// Arbitrary bytes through the descriptor parsers, the first byte choosing
// which: even a CloneCD sheet, odd an Alcohol descriptor (Nero chunk lists
// go through fuzz_cue_sheet with the other sheets).
// A layout they accept must be one the opener can check run by run: tracks
// numbered one after another in disc order, runs in disc order that do not
// overlap, sector sizes the readers know.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "image/alcohol_descriptor.h"
#include "image/clonecd_sheet.h"

namespace {

void check(const TrackLayout& layout)
{
    if (!layout.error.empty()) {
        if (!layout.runs.empty() || !layout.tracks.empty() || !layout.data_file.empty())
            std::abort();
        return;
    }
    if (layout.runs.empty() || layout.tracks.empty())
        std::abort();
    for (std::size_t i = 0; i < layout.tracks.size(); ++i)
        if (layout.tracks[i].number < 1 || layout.tracks[i].number > 99 || layout.tracks[i].first_lsn > 450000 ||
            (i > 0 && (layout.tracks[i].number != layout.tracks[i - 1].number + 1 ||
                       layout.tracks[i].first_lsn <= layout.tracks[i - 1].first_lsn)))
            std::abort();
    for (std::size_t i = 0; i < layout.runs.size(); ++i) {
        const ImageRun& run = layout.runs[i];
        if ((run.sector_size != 2352 && run.sector_size != 2448) || std::uint64_t{run.first_lsn} + run.sectors > 450000 ||
            run.offset + std::uint64_t{run.sectors} * run.sector_size < run.offset)
            std::abort();
        if (i + 1 < layout.runs.size() &&
            (run.sectors == 0 || std::uint64_t{run.first_lsn} + run.sectors > layout.runs[i + 1].first_lsn))
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    std::span<const std::uint8_t> rest(data + 1, size - 1);
    if (data[0] % 2 == 0) {
        check(parse_clonecd_sheet({reinterpret_cast<const char*>(rest.data()), rest.size()}));
        return 0;
    }
    TrackLayout layout = parse_alcohol_descriptor(rest, "folder/disc.mds");
    if (layout.error.empty() && (layout.data_file.empty() || layout.data_file.find('/') != std::string::npos))
        std::abort();
    check(layout);
    return 0;
}
