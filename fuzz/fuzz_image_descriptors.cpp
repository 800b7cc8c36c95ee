// Arbitrary bytes through the descriptor parsers, the first byte choosing
// which: a CloneCD sheet, an Alcohol descriptor, or a CHD's header, hunk map
// and track metadata (Nero chunk lists go through fuzz_cue_sheet with the
// other sheets).
// A layout they give must keep the rules of layout_rules.h, which the
// openers rely on to check it run by run.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "image/alcohol_descriptor.h"
#include "image/chd_format.h"
#include "image/clonecd_sheet.h"
#include "layout_rules.h"

namespace {

// The bytes as a CHD file: header, the map where the header puts it (every
// entry must then lie in the file and copy nothing after itself) and, line
// by line, the track metadata (a layout's runs follow each other, a region
// each).
int check_chd(std::span<const std::uint8_t> file)
{
    ChdHeader header;
    std::vector<HunkEntry> map;
    if (parse_chd_header(file, file.size(), header).empty() &&
        parse_chd_map(file.subspan(static_cast<std::size_t>(header.map_offset)), header, file.size(), map).empty())
        for (const HunkEntry& e : map)
            if (map.size() != header.hunks || e.store == HunkStore::copy || (!e.zeros && e.offset + e.length > file.size()))
                std::abort();
    std::vector<std::string> texts;
    std::string_view text(reinterpret_cast<const char*>(file.data()), file.size());
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = std::min(text.find('\n', at), text.size());
        texts.emplace_back(text.substr(at, end - at));
        at = end + 1;
    }
    ChdLayout chd = chd_layout(texts);
    const TrackLayout& layout = chd.layout;
    if (!layout.error.empty())
        return layout.runs.empty() && chd.regions.empty() ? 0 : (std::abort(), 0);
    for (std::size_t i = 0; i < layout.runs.size(); ++i)
        if (chd.regions.size() != layout.runs.size() || layout.tracks[i].number != static_cast<int>(i + 1) ||
            (i > 0 && layout.runs[i].first_lsn != layout.runs[i - 1].first_lsn + layout.runs[i - 1].sectors) ||
            chd.regions[i].first_frame + chd.regions[i].frames > chd.frames)
            std::abort();
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    std::span<const std::uint8_t> rest(data + 1, size - 1);
    if (data[0] % 3 == 2)
        return check_chd(rest);
    if (data[0] % 3 == 0) {
        if (!consistent_layout(parse_clonecd_sheet({reinterpret_cast<const char*>(rest.data()), rest.size()})))
            std::abort();
        return 0;
    }
    TrackLayout layout = parse_alcohol_descriptor(rest, "folder/disc.mds");
    if (!consistent_layout(layout) ||
        (layout.error.empty() && (layout.data_file.empty() || layout.data_file.find('/') != std::string::npos)))
        std::abort();
    return 0;
}
