// The whole disc: every sequence and segment play item of a Video CD or
// SVCD out of its image, with the disc's report, chapters and description.
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "image/image_formats.h"
#include "vcd/disc_description.h"
#include "vcd/disc_filesystem.h"
#include "vcd/disc_timing.h"
#include "vcd/playback.h"
#include "engine/copy_engine.h"
#include "mpeg/pack_times.h"
#include "sector/sector_check.h"
#include "modes/disc_report.h"
#include "modes/modes.h"
#include "run/option_summary.h"
#include "run/run_state.h"

namespace {

constexpr const char* source_text = "Disc source --> %s\n";
constexpr const char* destination_text = "MPEG destination folder --> %s\n";
constexpr const char* method_text = "Extraction method --> disc2mpg\n";
constexpr const char* refused_option_text = "%s means nothing with -disc2mpg: every item is written whole.\n";
constexpr const char* folder_failed_text = "%s could not be made as a folder.\n";
constexpr const char* spans_files_text = "%s spans two files of the image: it cannot be copied.\n";
constexpr const char* user_data_only_text = "%s lies in sectors stored as their user data alone: it cannot be copied.\n";
constexpr const char* data_track_alone_text =
    "%s is a 2048-byte image of the data track alone: it holds the disc's files but no movie; the movies are in "
    "the other tracks of the disc.\n";
constexpr const char* writing_text = "\xfe                 %s -> writing...\r";
constexpr const char* empty_item_text = "\xfe %s holds no MPEG data: no file written.\n";
constexpr const char* playback_unread_text = "The playback control could not be read: %s\n\n";
constexpr const char* describing_text = "\xfe                 videocd.xml -> writing...\r";
constexpr const char* completed_text = "\n\xfe completed. %u file(s) written.\n\n";
constexpr const char* damaged_output_text = "\xfe %s holds %llu damaged sector(s), written as read: %s\n";
constexpr const char* uncarried_text = "videocd.xml cannot say all this disc holds: %s.\n";
constexpr const char* more_damage_text = "; and %zu more range(s)";
// Ranges named on an output's damage line.
constexpr std::size_t ranges_named = 4;

void refuse_options()
{
    if (const char* refused = whole_disc_refused_option()) {
        say(refused_option_text, refused);
        end_run(1);
    }
}

std::optional<std::uint64_t> clock_of(const DiscImage& image, std::uint32_t lsn)
{
    return pack_clock(std::span(read_disc_sector(image, lsn) + form2_data_offset, form2_data_size));
}

// From the first sector that carries video, audio or data to the last one.
// Empty sectors before and after (pregap, margins, the rest of a segment)
// stay out; empty sectors between them are part of the stream as it was
// authored (encoders pad a Video CD stream with zero-filled blocks).
ItemExtent payload_extent(const DiscImage& image, std::uint32_t first, std::uint32_t sectors)
{
    ItemExtent extent;
    std::uint32_t end = first + sectors;
    while (first < end && !carries_payload(image, first))
        ++first;
    while (end > first && !carries_payload(image, end - 1))
        --end;
    extent.first_lsn = first;
    extent.sectors = end - first;
    if (extent.sectors) {
        extent.first_clock = clock_of(image, first);
        extent.last_clock = clock_of(image, end - 1);
    }
    return extent;
}

std::string path_in(const std::string& folder, const std::string& name)
{
    if (folder.empty() || folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

// The sectors an item's copy passes are checked as the engine reads them:
// the engine names the position of each chunk it reads, which lies
// data_offset bytes into its sector. Sectors that mark an auto-pause point
// are noted on the way.
void check_copied_sector(BlockReader& in, const DiscRun& run, std::uint32_t data_offset, std::uint64_t pos,
                         SectorTally& tally, std::vector<std::uint32_t>& triggers, ItemScan& scan)
{
    const SectorFraming& framing = framing_of(run);
    std::uint64_t start = pos - data_offset;
    auto lsn = static_cast<std::uint32_t>(run.first_lsn + (start - run.offset) / run.sector_size);
    const std::uint8_t* stored = in.need(start, framing.raw_bytes);
    tally_sector(tally, lsn, check_stored_sector(stored, framing, lsn, 2));
    if (stored[submode_offset - framing.raw_start] & submode_trigger)
        triggers.push_back(lsn);
    note_scan_sector(scan, lsn, {stored + data_offset, form2_data_size});
}

// The auto-pause points among an item's sectors that its copy does not pass
// (its margins, and all of an item without payload).
void find_triggers_around(const DiscImage& image, std::uint32_t first, std::uint32_t sectors, const ItemExtent& extent,
                          std::vector<std::uint32_t>& triggers)
{
    for (std::uint32_t lsn = first; lsn < first + sectors; ++lsn) {
        if (extent.sectors && lsn == extent.first_lsn)
            lsn += extent.sectors;
        if (lsn < first + sectors && (read_disc_sector(image, lsn)[submode_offset] & submode_trigger))
            triggers.push_back(lsn);
    }
}

struct DamagedOutput {
    std::string name;
    SectorTally tally;
};

void report_damage(const std::vector<DamagedOutput>& outputs)
{
    for (const DamagedOutput& output : outputs) {
        std::string where;
        for (std::size_t r = 0; r < output.tally.damage.size() && r < ranges_named; ++r)
            where += (r ? "; " : "") + describe_range(output.tally.damage[r]);
        if (output.tally.damage.size() > ranges_named)
            where += formatted(more_damage_text, output.tally.damage.size() - ranges_named);
        unsigned long long count = 0;
        for (const DamageRange& range : output.tally.damage)
            count += range.count;
        say(damaged_output_text, output.name.c_str(), count, where.c_str());
    }
    if (!outputs.empty())
        say("\n");
}

// The user data of each sector of the extent, through the same engine as
// every other MPEG copy.
bool copy_item(const DiscImage& image, const std::string& name, const ItemExtent& extent,
               std::vector<DamagedOutput>& damaged, std::vector<std::uint32_t>& triggers, ItemScan& scan)
{
    if (extent.sectors == 0) {
        say(empty_item_text, name.c_str());
        return false;
    }
    const DiscRun* first = run_of(image, extent.first_lsn);
    const DiscRun* last = run_of(image, extent.first_lsn + extent.sectors - 1);
    if (first != last) {
        say(spans_files_text, name.c_str());
        end_run(1);
    }
    io.output_name = path_in(output_name_template, name);
    if (!io.output_file.open(io.output_name)) {
        say_unwritable(io.output_name);
        end_run(1);
    }
    const SectorFraming& framing = framing_of(*first);
    if (!framing.checkable) {
        say(user_data_only_text, name.c_str());
        end_run(1);
    }
    BlockReader& in = image_file(image, first->file);
    std::uint32_t size = first->sector_size;
    std::uint32_t data_offset = stored_data_offset(framing);
    std::uint64_t start = first->offset + std::uint64_t{extent.first_lsn - first->first_lsn} * size;
    settings.input_pos = start + data_offset;
    SectorTally tally;
    CopyPlan plan{in, io.output_file, size, size, form2_data_size};
    plan.chunk_seen = [&in, run = *first, data_offset, &tally, &triggers, &scan](std::uint64_t pos) {
        check_copied_sector(in, run, data_offset, pos, tally, triggers, scan);
    };
    say(writing_text, name.c_str());
    copy_stream(plan, start + std::uint64_t{extent.sectors - 1} * size + data_offset + form2_data_size);
    if (!tally.damage.empty())
        damaged.push_back({name, std::move(tally)});
    return true;
}

void write_text_file(const std::string& name, const std::string& text)
{
    io.output_name = path_in(output_name_template, name);
    if (!io.output_file.open(io.output_name)) {
        say_unwritable(io.output_name);
        end_run(1);
    }
    io.output_file.write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    io.output_file.close();
}

// A file of the filesystem as vcdxbuild takes it back: a Form 1 file's 2048
// bytes a sector, cut to its size; a mixed-form file's 2336 bytes a sector
// (its subheaders with the user data and what follows it), whole.
void copy_disc_file(const DiscImage& image, const DiscFile& file, const std::string& name)
{
    constexpr std::uint32_t mixed_sector_size = raw_sector_size - 16;
    io.output_name = path_in(output_name_template, name);
    if (!io.output_file.open(io.output_name)) {
        say_unwritable(io.output_name);
        end_run(1);
    }
    std::uint64_t left = file.size;
    for (std::uint32_t s = 0; s < file.sectors; ++s) {
        const std::uint8_t* sector = read_disc_sector(image, file.lsn + s);
        if (file.form2) {
            io.output_file.write(sector + 16, mixed_sector_size);
        } else {
            std::uint32_t n = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, mode1_data_size));
            io.output_file.write(sector + form2_data_offset, n);
            left -= n;
        }
    }
    io.output_file.close();
}

std::string stem(const std::string& name)
{
    return name.substr(0, name.rfind('.'));
}

}  // namespace

void disc2mpg()
{
    say(source_text, io.input_name.c_str());
    say(destination_text, io.output_name.c_str());
    say("%s", method_text);
    refuse_options();
    DiscImage image = open_disc_image(io.input_name);
    if (std::all_of(image.runs.begin(), image.runs.end(), [](const DiscRun& r) { return !framing_of(r).checkable; })) {
        say(data_track_alone_text, io.input_name.c_str());
        end_run(1);
    }
    DiscLayout layout = read_disc_description(image, io.input_name);
    print_option_summary();

    std::vector<ItemExtent> sequences, segments;
    for (const SequenceItem& item : layout.sequences)
        sequences.push_back(payload_extent(image, item.first_lsn, item.sectors));
    for (const SegmentItem& item : layout.segments)
        segments.push_back(payload_extent(image, item.first_lsn, item.sectors));
    print_disc_report(layout, sequences, segments);
    PlaybackParse playback = read_playback_control(layout);
    if (!playback.error.empty())
        say(playback_unread_text, playback.error.c_str());
    else if (!playback.control.lists.empty()) {
        print_playback_control(layout, playback.control);
        say("\n");
    }
    DiscTiming timing = read_disc_timing(image, layout);

    output_name_template = io.output_name;
    std::error_code error;
    std::filesystem::create_directories(output_name_template, error);
    if (!std::filesystem::is_directory(output_name_template, error)) {
        say(folder_failed_text, output_name_template.c_str());
        end_run(1);
    }
    unsigned written = 0;
    std::vector<DamagedOutput> damaged;
    std::vector<std::uint32_t> triggers;
    std::vector<ItemScan> scans;
    auto scan_of = [&scans](std::uint32_t first_lsn, std::uint32_t sectors, const ItemExtent& extent) -> ItemScan& {
        return scans.emplace_back(ItemScan{extent.first_lsn, first_lsn + sectors, false, {}});
    };
    for (std::size_t s = 0; s < layout.sequences.size(); ++s) {
        const SequenceItem& item = layout.sequences[s];
        std::vector<std::uint64_t> times;
        for (std::uint16_t e : item.entries)
            if (timing.entry_ticks[e])
                times.push_back(*timing.entry_ticks[e]);
        written += copy_item(image, item.name, sequences[s], damaged, triggers,
                             scan_of(item.first_lsn, item.sectors, sequences[s]));
        find_triggers_around(image, item.first_lsn, item.sectors, sequences[s], triggers);
        if (times.size() > 1) {
            write_text_file(stem(item.name) + ".ffmetadata", chapters_text(times, item_length(sequences[s])));
            ++written;
        }
    }
    for (std::size_t s = 0; s < layout.segments.size(); ++s) {
        const SegmentItem& item = layout.segments[s];
        written += copy_item(image, item.name, segments[s], damaged, triggers,
                             scan_of(item.first_lsn, item.sectors, segments[s]));
        find_triggers_around(image, layout.segments[s].first_lsn, layout.segments[s].sectors, segments[s], triggers);
    }
    add_auto_pauses(image, layout, triggers, timing);
    add_scan_offsets(scans, timing);
    for (const ExtraFile& extra : description_extra_files(layout)) {
        copy_disc_file(image, layout.files[extra.file], extra.src);
        ++written;
    }
    say("%s", describing_text);
    write_text_file("videocd.xml",
                    disc_description_text(layout, playback.error.empty() ? &playback.control : nullptr, timing));
    ++written;
    say(completed_text, written);
    report_damage(damaged);
    if (!timing.uncarried.empty()) {
        std::string what;
        for (const std::string& w : timing.uncarried)
            what += (what.empty() ? "" : "; ") + w;
        say(uncarried_text, what.c_str());
    }
    close_image(image);
}
