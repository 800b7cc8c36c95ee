#include "modes/disc_report.h"

#include "run/run_state.h"

#include "sector/formats.h"
#include "io/report.h"

namespace {

constexpr std::uint64_t ticks_per_second = 90000;

constexpr const char* disc_line_text = "Disc: %s, album \"%s\", volume %u of %u, label \"%s\"\n\n";
constexpr const char* sequence_heading_text = "Sequence      Length        Bytes  Entries  On the disc\n";
constexpr const char* sequence_row_text = "%-12s  %8s  %11s  %7zu  %s\n";
constexpr const char* segment_heading_text = "Segment item  Kind                Audio            Bytes\n";
constexpr const char* segment_row_text = "%-12s  %-18s  %-12s  %9s\n";

constexpr const char* video_kinds[8] = {
    "no video",     "NTSC still", "NTSC hi-res still", "NTSC motion",
    "reserved (4)", "PAL still",  "PAL hi-res still",  "PAL motion",
};
// A Video CD's info file counts channels, an SVCD's counts streams.
constexpr const char* vcd_audio_kinds[4] = {"none", "mono", "stereo", "dual channel"};
constexpr const char* svcd_audio_kinds[4] = {"none", "one stream", "two streams", "multi-channel"};

std::string as_time(std::uint64_t ticks)
{
    std::uint64_t hundredths = ticks / (ticks_per_second / 100);
    char text[32];
    std::snprintf(text, sizeof text, "%02llu:%02llu.%02llu", static_cast<unsigned long long>(hundredths / 6000),
                  static_cast<unsigned long long>(hundredths / 100 % 60),
                  static_cast<unsigned long long>(hundredths % 100));
    return text;
}

std::string grouped(std::uint64_t value)
{
    std::string digits = std::to_string(value);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

}  // namespace

std::uint64_t item_length(const ItemExtent& extent)
{
    if (!extent.first_clock || !extent.last_clock || *extent.last_clock < *extent.first_clock)
        return 0;
    std::uint64_t span = *extent.last_clock - *extent.first_clock;
    return extent.sectors > 1 ? span + span / (extent.sectors - 1) : span;
}

std::string chapters_text(const std::vector<std::uint64_t>& times, std::uint64_t length)
{
    std::string text = ";FFMETADATA1\n";
    for (std::size_t c = 0; c < times.size(); ++c) {
        std::uint64_t end = c + 1 < times.size() ? times[c + 1] : std::max(length, times[c]);
        text += "[CHAPTER]\nTIMEBASE=1/90000\nSTART=" + std::to_string(times[c]) + "\nEND=" + std::to_string(end) +
                "\ntitle=Entry " + std::to_string(c + 1) + "\n";
    }
    return text;
}

void print_disc_report(const DiscLayout& layout, const std::vector<ItemExtent>& sequences,
                       const std::vector<ItemExtent>& segments)
{
    say(disc_line_text, disc_kind_name(layout.kind), layout.album_id.c_str(), layout.volume_number,
        layout.volume_count, layout.volume_id.c_str());
    say("%s", sequence_heading_text);
    for (std::size_t s = 0; s < layout.sequences.size(); ++s) {
        const SequenceItem& item = layout.sequences[s];
        say(sequence_row_text, item.name.c_str(), as_time(item_length(sequences[s])).c_str(),
            grouped(std::uint64_t{sequences[s].sectors} * form2_data_size).c_str(), item.entries.size(),
            item.disc_path.empty() ? "-" : item.disc_path.c_str());
    }
    say("\n");
    if (layout.segments.empty())
        return;
    bool svcd = layout.kind == DiscKind::svcd || layout.kind == DiscKind::hqvcd;
    say("%s", segment_heading_text);
    for (std::size_t s = 0; s < layout.segments.size(); ++s) {
        const SegmentItem& item = layout.segments[s];
        say(segment_row_text, item.name.c_str(), video_kinds[item.video_type & 7],
            (svcd ? svcd_audio_kinds : vcd_audio_kinds)[item.audio_type & 3],
            grouped(std::uint64_t{segments[s].sectors} * form2_data_size).c_str());
    }
    say("\n");
}

const char* whole_disc_refused_option()
{
    return settings.track_selected          ? "-track##"
           : settings.read_sector_override  ? "-r####"
           : settings.write_sector_override ? "-w####"
                                            : nullptr;
}
