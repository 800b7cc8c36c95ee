// -disc2bin: one whole 2352-byte image of a disc from every read of it (any
// shape, a drive included), each sector taken from the read whose copy holds
// up to its own checks, with a ddrescue mapfile of what is still damaged.
// An earlier run's image and map are read first, so each read adds to it.
#include <algorithm>
#include <array>
#include <cstring>
#include <sys/stat.h>

#include "image/cdio_source.h"
#include "image/disc_image.h"
#include "image/image_formats.h"
#include "image/rescue_map.h"
#include "modes/disc2bin.h"
#include "modes/disc_merge.h"
#include "modes/disc_report.h"
#include "modes/modes.h"
#include "run/run_state.h"
#include "sector/sector_check.h"
#include "vcd/disc_filesystem.h"

namespace {

constexpr const char* source_text = "Disc source %zu --> %s\n";
constexpr const char* destination_text = "Disc image destination --> %s\n";
constexpr const char* method_text = "Merging method --> disc2bin\n\n";
constexpr const char* resumed_text = "(the image and map of an earlier run)";
constexpr const char* refused_option_text = "%s means nothing with -disc2bin: every sector is written whole.\n";
constexpr const char* user_data_only_text =
    "%s holds the user data of its sectors alone: the Form 2 sectors of a Video CD cannot be rebuilt from it.\n";
constexpr const char* different_discs_text = "%s and %s are not the same disc: %s.\n";
constexpr const char* unread_map_text = "%s is not a ddrescue mapfile of %s.\n";
constexpr const char* sheet_over_image_text = "The sheet %s would be written over its own image or map: name it .cue.\n";
constexpr const char* table_head_text = " Track      Sectors        Whole      Damaged     Not read   Taken from source 1, 2, ...\n";
constexpr const char* row_text = "    %02d   %10llu   %10llu   %10llu   %10llu  ";
constexpr const char* taken_text = " %llu";
constexpr const char* range_text = "           %s%s\n";
constexpr const char* hurt_text = "; %s %s to %s";
constexpr const char* item_time_text = "%02u:%02u:%02u";
constexpr const char* more_ranges_text = "           ... and %zu more damaged ranges\n";
constexpr const char* whole_text = "\n\xfe merged: all %llu sectors whole.\n\n";
constexpr const char* damaged_text = "\n\xfe merged: %llu of %llu sectors damaged, %llu not read.\n\n";
constexpr const char* stopped_text = "\n\xfe stopped: the sectors not yet read are marked not read.\n";
constexpr const char* cue_file_text = "FILE \"%s\" BINARY\n";
constexpr const char* cue_track_text = "  TRACK %02d %s\n";
constexpr const char* cue_index_text = "    INDEX %02d %02u:%02u:%02u\n";

constexpr std::size_t max_ranges_shown = 100;
// 256 sectors make 147 pages: the image is written in whole pages.
constexpr std::uint32_t batch_sectors = 256;
// Three parts of 1.2 MB in turn: the reading and checking and the writing
// each run up to two parts ahead of the other where it is held up.
constexpr std::size_t write_step = 2 * batch_sectors * raw_sector_size;
constexpr std::size_t write_turns = 3;
constexpr std::uint32_t later_read_ahead = 16;
// Where a ddrescue map may be larger than a sheet: one line per block.
constexpr std::uint64_t max_map_size = 64u << 20;

void refuse_options()
{
    if (const char* refused = whole_disc_refused_option()) {
        say(refused_option_text, refused);
        end_run(1);
    }
}

bool is_file(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string base_name(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// What an earlier run's map says of each sector it covers: whole where a
// whole block covers it, not read where a block of sectors no read held
// covers it, damaged elsewhere.
std::vector<Kept> earlier_map(const std::string& map_path, const std::string& bin_path)
{
    std::string text;
    std::optional<std::vector<MapBlock>> blocks;
    if (read_small_file(map_path, max_map_size, text) == WholeFile::read)
        blocks = parse_rescue_map(text);
    if (!blocks) {
        say(unread_map_text, map_path.c_str(), bin_path.c_str());
        end_run(1);
    }
    std::vector<Kept> earlier;
    for (const MapBlock& b : *blocks) {
        std::uint64_t first = b.pos / raw_sector_size, end = (b.pos + b.size + raw_sector_size - 1) / raw_sector_size;
        end = std::min<std::uint64_t>(end, max_input_size / raw_sector_size);
        if (end > earlier.size())
            earlier.resize(end, Kept::damaged);
        if (b.status != '+' && b.status != '?')
            continue;
        // Only the sectors the block covers whole.
        first = (b.pos + raw_sector_size - 1) / raw_sector_size;
        end = std::min<std::uint64_t>((b.pos + b.size) / raw_sector_size, end);
        for (std::uint64_t s = first; s < end; ++s)
            earlier[s] = static_cast<Kept>(b.status);
    }
    return earlier;
}

// Reads of the run's file go no further than sector `end` (nor past the
// run).
void read_ahead_until(const DiscImage& read, const DiscRun& run, std::uint32_t end)
{
    end = std::min(end, run.first_lsn + run.sectors);
    image_file(read, run.file).read_ahead_until(run.offset + std::uint64_t{end - run.first_lsn} * run.sector_size);
}

struct TrackReport {
    int number = 0;
    SectorTally tally;
    std::uint64_t unread = 0;
    std::vector<std::uint64_t> taken;
};

struct Outputs {
    std::vector<MapBlock> map;
    std::vector<TrackReport> tracks;
};

// The tracks of the result: the first read's list that has one, each track's
// INDEX 00 from any read that states it; one track of either mode where no
// read has a list.
std::vector<DiscTrack> merged_tracks(const std::vector<DiscImage>& reads)
{
    std::vector<DiscTrack> tracks;
    for (const DiscImage& read : reads)
        if (tracks.empty() && !read.tracks.empty())
            tracks = read.tracks;
    if (tracks.empty())
        return {{1, 0, TrackMode::unknown, 0, false}};
    for (const DiscImage& read : reads)
        for (std::size_t t = 0; t < read.tracks.size() && t < tracks.size(); ++t)
            if (read.tracks[t].states_pregap && !tracks[t].states_pregap)
                tracks[t] = {tracks[t].number, read.tracks[t].first_lsn, tracks[t].mode, read.tracks[t].pregap, true};
    if (tracks.front().first_lsn != 0)
        tracks.insert(tracks.begin(), {1, 0, TrackMode::unknown, 0, false});
    return tracks;
}

const char* cue_mode(TrackMode mode)
{
    return mode == TrackMode::audio ? "AUDIO" : mode == TrackMode::mode1 ? "MODE1/2352" : "MODE2/2352";
}

std::string cue_text(const std::string& bin_name, const std::vector<DiscTrack>& tracks)
{
    auto index = [](int number, std::uint32_t lsn) {
        return formatted(cue_index_text, number, lsn / 4500, lsn / 75 % 60, lsn % 75);
    };
    std::string text = formatted(cue_file_text, bin_name.c_str());
    for (const DiscTrack& t : tracks) {
        text += formatted(cue_track_text, t.number, cue_mode(t.mode));
        if (t.pregap > 0)
            text += index(0, t.first_lsn);
        text += index(1, t.first_lsn + t.pregap);
    }
    return text;
}

void open_output(BlockWriter& out, const std::string& path, bool replace_input)
{
    if (!out.open(path, replace_input)) {
        say_unwritable(path);
        end_run(1);
    }
}

void write_text(BlockWriter& out, const std::string& text)
{
    out.write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// Every sector from 0 to the end of the longest read, into the open output.
Outputs merge_reads(const std::vector<DiscImage>& reads, const std::vector<DiscTrack>& tracks,
                    const std::vector<Kept>& earlier, std::uint32_t sectors, bool stop_on_signal)
{
    Outputs result;
    for (const DiscTrack& t : tracks)
        result.tracks.push_back({t.number, {}, 0, std::vector<std::uint64_t>(reads.size())});
    BlockWriter& out = io.output_file;
    std::vector<const std::uint8_t*> copies(reads.size());
    // The first read's sectors in a file are read a batch at a time
    // straight into the output's buffer and checked there; a sector that
    // another read gives instead is copied over its place.
    std::span<std::uint8_t> batch;
    std::uint32_t batch_lsn = 0;
    std::size_t row = 0;
    int stopped = 0;
    std::uint32_t stretch_end = 0;  // where the sectors not yet whole from lsn on end
    for (std::uint32_t lsn = 0; lsn < sectors; ++lsn) {
        while (row + 1 < tracks.size() && tracks[row + 1].first_lsn <= lsn)
            ++row;
        TrackReport& report = result.tracks[row];
        if (stop_on_signal && !stopped)
            stopped = stop_signal_seen();
        if (lsn == batch_lsn + batch.size() / raw_sector_size && !batch.empty()) {
            out.commit(batch.size());
            batch = {};
        }
        const DiscRun* first = run_of(reads[0], lsn);
        if (batch.empty() && first && !reads[0].files[first->file].source) {
            // Smaller where the writer has no parts of its own to spare.
            auto most = static_cast<std::uint32_t>(std::min<std::size_t>(batch_sectors, out.capacity() / raw_sector_size));
            std::uint32_t n = std::min({most, first->first_lsn + first->sectors - lsn, sectors - lsn});
            batch = out.reserve(std::size_t{n} * raw_sector_size);
            batch_lsn = lsn;
            read_disc_sectors(reads[0], lsn, n, batch.data());
        }
        std::uint8_t* in_batch = batch.empty() ? nullptr : batch.data() + std::size_t{lsn - batch_lsn} * raw_sector_size;
        const std::uint8_t checks = checks_of(tracks[row].mode);
        SectorChoice choice{0, Kept::unread, 0};
        std::fill(copies.begin(), copies.end(), nullptr);
        // The earlier run's verdict, where it had one: its whole sectors
        // stay as they are, and what no read held then is no copy now.
        const Kept before = lsn < earlier.size() ? earlier[lsn] : Kept::damaged;
        for (std::size_t r = 0; r < reads.size(); ++r) {
            const DiscRun* run = r == 0 ? first : run_of(reads[r], lsn);
            if (!run || (r == 0 && before == Kept::unread))
                continue;
            if (reads[r].files[run->file].source) {
                // Once stopped, a drive is asked for nothing more; until
                // then it reads ahead only over the sectors still to be read.
                if (stopped)
                    continue;
                while (stretch_end <= lsn ||
                       (stretch_end < sectors && !(stretch_end < earlier.size() && earlier[stretch_end] == Kept::whole)))
                    ++stretch_end;
                read_ahead_until(reads[r], *run, stretch_end);
            } else if (r > 0) {
                // A later read is asked here and there, where the first
                // fails: a few sectors at a time, not a whole buffer.
                read_ahead_until(reads[r], *run, lsn + later_read_ahead);
            }
            copies[r] = r == 0 && in_batch ? in_batch : read_disc_sector(reads[r], lsn);
            // Later reads are asked only where the first proves itself not
            // whole.
            if (r == 0 && (before == Kept::whole ||
                           (checks != nothing_to_check &&
                            !(check_sector(std::span<const std::uint8_t, raw_sector_size>(copies[0], raw_sector_size),
                                           lsn, checks) &
                              (damage_faults | note_no_edc))))) {
                choice = {0, Kept::whole, 0};
                break;
            }
        }
        if (choice.kept == Kept::unread)
            choice = choose_copy(copies, lsn, checks);
        static constexpr std::array<std::uint8_t, raw_sector_size> zeros{};
        const std::uint8_t* chosen = choice.kept == Kept::unread ? zeros.data() : copies[choice.source];
        if (!in_batch)
            out.write(chosen, raw_sector_size);
        else if (chosen != in_batch)
            std::memcpy(in_batch, chosen, raw_sector_size);
        if (choice.kept == Kept::unread) {
            ++report.unread;
            tally_sector(report.tally, lsn, fault_missing);
        } else {
            ++report.taken[choice.source];
            tally_sector(report.tally, lsn, choice.kept == Kept::whole ? 0 : choice.faults);
        }
        add_map_block(result.map, std::uint64_t{lsn} * raw_sector_size, raw_sector_size, static_cast<char>(choice.kept));
    }
    if (!batch.empty())
        out.commit(batch.size());
    if (stopped)
        say("%s", stopped_text);
    return result;
}

std::string item_time(std::uint32_t sectors)
{
    return formatted(item_time_text, sectors / 4500, sectors / 75 % 60, sectors % 75);
}

// The items a damaged range falls in, with the times inside each.
std::string hurt_items(const DiscLayout* layout, const DamageRange& range)
{
    std::string hurt;
    if (!layout)
        return hurt;
    auto add = [&](const std::string& name, std::uint32_t first, std::uint32_t sectors) {
        std::uint32_t from = std::max(first, range.first_lba), to = std::min(first + sectors, range.first_lba + range.count);
        if (from < to)
            hurt += formatted(hurt_text, name.c_str(), item_time(from - first).c_str(), item_time(to - 1 - first).c_str());
    };
    for (const SequenceItem& item : layout->sequences)
        add(item.name, item.first_lsn, item.sectors);
    for (const SegmentItem& item : layout->segments)
        add(item.name, item.first_lsn, item.sectors);
    return hurt;
}

// The disc's layout as the merged image gives it, where it can be read: it
// names the items that damaged ranges fall in.
std::optional<DiscLayout> merged_layout(const std::string& cue_path)
{
    try {
        DiscImage image = open_disc_image(cue_path);
        return read_disc_description(image, cue_path);
    } catch (const RunEnd&) {
        return std::nullopt;
    }
}

// The report: per track the sectors whole, damaged and not read, and how
// many each read gave; then every range still damaged.
bool print_report(const Outputs& result, const DiscLayout* layout)
{
    unsigned long long all = 0, damaged = 0, unread = 0;
    say("%s", table_head_text);
    for (const TrackReport& t : result.tracks) {
        const SectorTally& tally = t.tally;
        unsigned long long bad = tally.read - tally.whole - t.unread;
        all += tally.read;
        damaged += bad;
        unread += t.unread;
        say(row_text, t.number, static_cast<unsigned long long>(tally.read),
            static_cast<unsigned long long>(tally.whole), bad, static_cast<unsigned long long>(t.unread));
        for (std::uint64_t n : t.taken)
            say(taken_text, static_cast<unsigned long long>(n));
        say("\n");
        for (std::size_t i = 0; i < tally.damage.size() && i < max_ranges_shown; ++i)
            say(range_text, describe_range(tally.damage[i]).c_str(), hurt_items(layout, tally.damage[i]).c_str());
        if (tally.damage.size() > max_ranges_shown)
            say(more_ranges_text, tally.damage.size() - max_ranges_shown);
    }
    if (damaged == 0 && unread == 0) {
        say(whole_text, all);
        return true;
    }
    say(damaged_text, damaged, all, unread);
    return false;
}

}  // namespace

void merge_disc_reads(std::vector<DiscRead> sources, const std::string& cue_path)
{
    const std::string stem = cue_path.substr(0, cue_path.rfind('.'));
    const std::string bin_path = stem + ".bin", map_path = stem + ".map";
    if (cue_path == bin_path || cue_path == map_path) {
        say(sheet_over_image_text, cue_path.c_str());
        end_run(1);
    }
    const bool resumed = is_file(bin_path) && is_file(map_path);
    if (resumed)
        say(source_text, std::size_t{1}, resumed_text);
    for (std::size_t i = 0; i < sources.size(); ++i)
        say(source_text, i + 1 + resumed, sources[i].name.c_str());
    say(destination_text, cue_path.c_str());
    say("%s", method_text);
    refuse_options();

    std::vector<Kept> earlier;
    if (resumed) {
        earlier = earlier_map(map_path, bin_path);
        std::string earlier = is_file(cue_path) ? cue_path : bin_path;
        sources.insert(sources.begin(), DiscRead{bin_path, open_disc_image(earlier), false});
    }
    bool from_drive = false;
    for (const DiscRead& read : sources) {
        from_drive = from_drive || read.drive;
        if (std::any_of(read.image.runs.begin(), read.image.runs.end(),
                        [](const DiscRun& r) { return !framing_of(r).checkable; })) {
            say(user_data_only_text, read.name.c_str());
            end_run(1);
        }
    }
    std::vector<DiscImage> reads;
    for (DiscRead& read : sources)
        reads.push_back(std::move(read.image));
    for (std::size_t r = 1; r < reads.size(); ++r)
        if (std::string why = disc_difference(reads[0], reads[r]); !why.empty()) {
            say(different_discs_text, sources[0].name.c_str(), sources[r].name.c_str(), why.c_str());
            end_run(1);
        }
    std::uint32_t sectors = 0;
    for (const DiscImage& read : reads)
        sectors = std::max({sectors, read.sectors, read.promised});
    std::vector<DiscTrack> tracks = merged_tracks(reads);
    if (from_drive)
        defer_stop_signals();

    // All three are opened before anything is read, so that one that cannot
    // be written stops the run before the work, and they appear together.
    std::array<std::uint8_t, 4096> map_buffer, cue_buffer;
    BlockWriter map_out(map_buffer), cue_out(cue_buffer);
    open_output(io.output_file, bin_path, resumed);
    // Every sector passes through this program's memory to be checked; it
    // is written from there while the next are read and checked.
    io.output_file.write_behind(write_step, write_turns);
    open_output(map_out, map_path, resumed);
    open_output(cue_out, cue_path, resumed);
    Outputs result = merge_reads(reads, tracks, earlier, sectors, from_drive);
    for (const DiscImage& read : reads)
        close_image(read);
    write_text(map_out, rescue_map_text(result.map));
    write_text(cue_out, cue_text(base_name(bin_path), tracks));
    // The image takes its name before its map: a map never marks whole what
    // its image does not hold, however a run ends.
    BlockWriter* outputs[] = {&io.output_file, &map_out, &cue_out};
    BlockWriter::close_together(outputs);
    if (int sig = stop_signal_seen())
        stop_by_signal(sig);
    bool damaged = false;
    for (const TrackReport& t : result.tracks)
        damaged = damaged || !t.tally.damage.empty();
    std::optional<DiscLayout> layout = damaged ? merged_layout(cue_path) : std::nullopt;
    if (!print_report(result, layout ? &*layout : nullptr))
        settings.exit_status = 1;
}

void disc2bin(const ModeArgs& args)
{
    std::span<const std::string> names = args.names;
    std::vector<DiscRead> sources;
    for (const std::string& name : names.first(names.size() - 1)) {
        const ImageFormat& format = image_format_of(name);
        sources.push_back({name, format.open(name), &format == &drive_format});
    }
    merge_disc_reads(std::move(sources), names.back());
}
