#include "image/cue_image.h"

#include <algorithm>

#include "image/sheet_files.h"
#include "io/text.h"

namespace {

TrackMode mode_of(const TrackRecord& entry)
{
    switch (entry.track_mode) {
    case '1':
        return TrackMode::mode1;
    case '2':
        return TrackMode::mode2;
    default:  // AUDIO, and the words whose fifth letter says nothing
        return entry.sector_size == raw_sector_size ? TrackMode::audio : TrackMode::unknown;
    }
}

}  // namespace

DiscImage image_of_sheet(const ParsedSheet& parsed, std::span<const BinImage> bins)
{
    DiscImage image;
    for (const BinImage& bin : bins)
        image.files.push_back({bin.path, bin.size, {}});
    std::vector<TrackRecord> entries = parsed.entries;
    // A single track may come without INDEX, or with its INDEX before its
    // TRACK line: the track's type then holds for it.
    if (entries.empty()) {
        entries.emplace_back();
        entries.back().track_number = 1;
    }
    for (TrackRecord& e : entries)
        if (e.sector_size == 0) {
            e.sector_size = parsed.sector_size ? parsed.sector_size : raw_sector_size;
            e.track_mode = parsed.mode_char;
        }
    std::uint32_t lsn = 0;
    std::size_t next = 0;  // the first entry not yet placed
    for (std::uint16_t b = 0; b < bins.size(); ++b) {
        const std::uint64_t size = bins[b].size;
        std::size_t first = next;
        while (next < entries.size() && entries[next].bin == b)
            ++next;
        std::size_t last = next;
        if (first == last) {  // no entry of its own
            first = first > 0 ? first - 1 : 0;
            last = first + 1;
        }
        std::uint64_t start = 0;
        for (std::size_t i = first; i < last; ++i) {
            const TrackRecord& e = entries[i];
            std::uint64_t end = i + 1 < last ? std::clamp(entries[i + 1].start_offset, start, size) : size;
            // An INDEX past the end of the last BIN (one cut short) promises
            // the sectors up to its own, which the image lacks.
            std::uint32_t at = lsn;
            if (b + 1u == bins.size() && e.start_offset > start && e.sector_size > 0)
                at += static_cast<std::uint32_t>(
                    std::min<std::uint64_t>((e.start_offset - start + e.sector_size - 1) / e.sector_size,
                                            max_input_size / raw_sector_size));
            if (at > lsn)
                image.promised = std::max(image.promised, at + 1);
            if (image.tracks.empty() || image.tracks.back().number != e.track_number)
                image.tracks.push_back({e.track_number, at, mode_of(e), 0, e.index_number == 0});
            else if (e.index_number == 1)
                image.tracks.back().pregap = at - image.tracks.back().first_lsn;
            const std::uint64_t whole = (end - start) / e.sector_size;
            const auto tail = static_cast<std::uint32_t>((end - start) % e.sector_size);
            if (whole > 0 || tail > 0) {
                append_run(image, {lsn, static_cast<std::uint32_t>(whole), b, start, e.sector_size, tail});
                lsn += static_cast<std::uint32_t>(whole) + (tail > 0);
            }
            start = end;
        }
    }
    return image;
}

DiscImage open_cue_image(const std::string& name)
{
    LoadedSheet loaded = load_cue_sheet(name, true);
    return image_of_sheet(loaded.sheet, loaded.bins);
}

namespace {

bool claims_cue(const ImageProbe& p)
{
    return ends_folded(p.name, ".cue");
}

}  // namespace

const ImageFormat cue_format{"a CUE sheet", ImageKind::cue_sheet, claims_cue, open_cue_image};
