// -verify: reads every sector of a disc image of any kind, or of a raw track
// image, once, checks what each sector promises about itself and reports
// track by track. Nothing is written.
#include <algorithm>
#include <cstring>

#include "image/bare_image.h"
#include "image/image_formats.h"
#include "sector/msf.h"
#include "sector/sector_check.h"
#include "modes/modes.h"
#include "modes/redump_dat.h"
#include "modes/single_file.h"
#include "modes/track_hashes.h"
#include "run/run_state.h"

namespace {

constexpr const char* cue_source_text = "CUE source --> %s\n";
constexpr const char* raw_source_text = "RAW track image source --> %s\n";
constexpr const char* disc_source_text = "Disc source --> %s\n";
constexpr const char* method_text = "Verification method --> verify\n\n";
constexpr const char* table_head_text = " Track      Sectors        Whole       No EDC      Damaged\n";
constexpr const char* row_text = "    %02d   %10llu   %10llu   %10llu   %10llu\n";
constexpr const char* unchecked_row_text = "    %02d   %10llu            -            -   %10llu   not checked: %s\n";
constexpr const char* audio_text = "audio";
constexpr const char* cooked_text = "%u-byte sectors";
constexpr const char* range_text = "           %s\n";
constexpr const char* image_damage_text = "           %s to %s: %s\n";
constexpr const char* more_ranges_text = "           ... and %zu more damaged ranges\n";
constexpr const char* whole_text = "\n\xfe verified: all %llu sectors whole.\n\n";
constexpr const char* damaged_text = "\n\xfe verified: %llu of %llu sectors damaged.\n\n";
// Sectors without anything to check (audio, user data alone) are counted
// apart: a verdict never speaks for them.
constexpr const char* unchecked_whole_text = "\n\xfe verified: %llu of %llu sectors whole, %llu not checked.\n\n";
constexpr const char* unchecked_damaged_text = "\n\xfe verified: %llu of %llu sectors damaged, %llu not checked.\n\n";

constexpr const char* rom_line_text = "%s\n";
constexpr const char* no_hashes_text = "No track hashes: an image of 2048-byte sectors holds no 2352-byte tracks.\n\n";
constexpr const char* bad_dat_text = "%s cannot be read as a DAT: %s.\n";
constexpr const char* dat_match_text = "\xfe matches \"%s\" in %s\n\n";
constexpr const char* dat_none_text = "\xfe no entry of %s matches this disc\n\n";
constexpr const char* dat_nearest_text = "\xfe no entry of %s matches this disc; nearest \"%s\" (%zu tracks):%s\n\n";
constexpr const char* tracks_same_text = " %s %s";
constexpr const char* one_track_text = "track";
constexpr const char* more_tracks_text = "tracks";
constexpr const char* one_same_text = "matches";
constexpr const char* more_same_text = "match";
constexpr const char* one_differs_text = "differs";
constexpr const char* more_differ_text = "differ";

// A track with ranges in every few sectors would flood the screen.
constexpr std::size_t max_ranges_shown = 100;

struct TrackRow {
    int number = 0;
    std::string unchecked_why;
    SectorTally tally;
    std::vector<ImageDamage> image_damage;  // what the image found wrong as it was read
};

// What a track's sectors can be checked for: nothing (0xFF), or their mode
// (1, 2, or 0 for either).
constexpr std::uint8_t not_checkable = 0xFF;
std::uint8_t expected_mode(TrackMode mode, const SectorFraming* framing)
{
    if (mode == TrackMode::audio || !framing || !framing->checkable)
        return not_checkable;
    return mode == TrackMode::mode1 ? 1 : mode == TrackMode::mode2 ? 2 : 0;
}

std::string unchecked_why(TrackMode mode, std::uint32_t sector_size)
{
    if (mode == TrackMode::audio)
        return audio_text;
    return formatted(cooked_text, static_cast<unsigned>(sector_size));
}

// The ISO 9660 volume descriptor lies at sector 16.
constexpr std::uint32_t descriptor_lsn = 16;

// The size of the volume whose descriptor is this raw sector 16, where that
// sector is whole; 0 where it is no descriptor.
std::uint32_t volume_sectors(std::span<const std::uint8_t, raw_sector_size> sector)
{
    if (check_sector(sector, descriptor_lsn) & damage_faults)
        return 0;
    const std::uint8_t* data = sector.data() + (sector[15] == 1 ? 16 : form2_data_offset);
    if (std::memcmp(data, "\x01" "CD001", 6) != 0)
        return 0;
    return static_cast<std::uint32_t>(data[80] | data[81] << 8 | data[82] << 16 | std::uint32_t{data[83]} << 24);
}

std::uint32_t volume_sectors(const DiscImage& image)
{
    const DiscRun* run = run_of(image, descriptor_lsn);
    if (!run || !framing_of(*run).checkable)
        return 0;
    return volume_sectors(std::span<const std::uint8_t, raw_sector_size>(read_disc_sector(image, descriptor_lsn),
                                                                         raw_sector_size));
}

// Hashes stored sectors as the 2352-byte sectors they are: those stored
// without sync and header get them, those stored with subchannel lose it.
// Returns with the hashing perhaps still reading `stored` or `whole`: see
// hash_settle().
void hash_stored(DiscHasher& hasher, std::size_t track, std::span<const std::uint8_t> stored,
                 std::uint32_t sector_size, std::uint32_t lsn, std::vector<std::uint8_t>& whole)
{
    if (sector_size == raw_sector_size) {
        hash_disc_bytes(hasher, track, stored, false);
        return;
    }
    const SectorFraming& framing = *framing_of(sector_size);
    std::size_t n = stored.size() / sector_size;
    whole.assign(n * raw_sector_size, 0);
    for (std::size_t i = 0; i < n; ++i) {
        std::uint8_t* sector = whole.data() + i * raw_sector_size;
        if (framing.raw_start > 0)
            put_sector_header(sector, lsn + static_cast<std::uint32_t>(i));
        std::memcpy(sector + framing.raw_start, stored.data() + i * sector_size, framing.raw_bytes);
    }
    hash_disc_bytes(hasher, track, whole, false);
}

// Every sector of the image at its place on the disc, track by track as the
// image gives them, read in large blocks. Sectors stored without their sync
// and header are checked for the rest.
void check_image(const DiscImage& image, std::vector<TrackRow>& rows, DiscHasher* hasher)
{
    std::vector<std::uint8_t> whole_sectors;
    std::vector<DiscTrack> tracks = image.tracks;
    if (tracks.empty() || tracks.front().first_lsn != 0)
        tracks.insert(tracks.begin(), {1, 0, TrackMode::unknown});
    for (const DiscTrack& track : tracks)
        rows.push_back({track.number, "", {}, {}});
    auto row_of = [&tracks](std::uint32_t lsn) {
        std::size_t row = 0;
        while (row + 1 < tracks.size() && tracks[row + 1].first_lsn <= lsn)
            ++row;
        return row;
    };
    for (const DiscRun& run : image.runs) {
        BlockReader& in = image_file(image, run.file);
        const SectorFraming* framing = framing_of(run.sector_size);
        const std::uint32_t block =
            std::max<std::uint32_t>(1, static_cast<std::uint32_t>(in.capacity() / run.sector_size));
        const std::uint32_t end = run.first_lsn + run.sectors;
        for (std::uint32_t lsn = run.first_lsn; lsn < end;) {
            std::size_t row = row_of(lsn);
            std::uint32_t stop = row + 1 < tracks.size() ? std::min(end, tracks[row + 1].first_lsn) : end;
            std::uint32_t n = std::min(stop - lsn, block);
            std::size_t bytes = std::size_t{n} * run.sector_size;
            const std::uint8_t* stored =
                in.need(run.offset + std::uint64_t{lsn - run.first_lsn} * run.sector_size, bytes);
            if (hasher)
                hash_stored(*hasher, row, {stored, bytes}, run.sector_size, lsn, whole_sectors);
            SectorTally& tally = rows[row].tally;
            std::uint8_t mode = expected_mode(tracks[row].mode, framing);
            if (mode != not_checkable) {
                check_stored_sectors({stored, bytes}, *framing, lsn, framing->raw_start == 0, mode, tally);
            } else {
                tally.read += n;
                tally.unchecked += n;
                rows[row].unchecked_why = unchecked_why(tracks[row].mode, run.sector_size);
            }
            if (hasher)
                hash_settle(*hasher);
            lsn += n;
        }
        if (run.tail_bytes > 0) {
            const std::uint8_t* tail =
                in.need(run.offset + std::uint64_t{run.sectors} * run.sector_size, run.tail_bytes);
            // What a BIN cut short holds of its last sector is hashed as it is.
            if (hasher && run.sector_size == raw_sector_size)
                hash_disc_bytes(*hasher, row_of(end), {tail, run.tail_bytes});
            tally_sector(rows[row_of(end)].tally, end, fault_cut_short);
        }
    }
    close_image(image);
    for (const ImageDamage& d : image.damage->found)
        rows[row_of(d.first_lsn)].image_damage.push_back(d);
    // Sectors the sheet or the filesystem promises past the image's end.
    std::uint32_t held = image.sectors + (!image.runs.empty() && image.runs.back().tail_bytes > 0);
    std::uint32_t promised = std::max(image.promised, volume_sectors(image));
    for (std::uint32_t lsn = held; lsn < promised;) {
        std::size_t row = row_of(lsn);
        std::uint32_t stop = row + 1 < tracks.size() ? std::min(promised, tracks[row + 1].first_lsn) : promised;
        tally_missing(rows[row].tally, lsn, stop - lsn);
        lsn = stop;
    }
}

// No place on the disc is known: the first sector with a sound header that
// its successor confirms fixes the place of every other.
void verify_raw_image(std::vector<TrackRow>& rows, DiscHasher* hasher)
{
    say(raw_source_text, io.input_name.c_str());
    say("%s", method_text);
    if (!open_single_input())
        return;
    io.input_size = file_size(io.input_file);
    rows.push_back({1, "", {}, {}});
    SectorTally& tally = rows.back().tally;
    const std::uint64_t block = io.input_file.capacity() / raw_sector_size * raw_sector_size;
    std::optional<std::uint32_t> anchor;
    std::uint32_t lba = 0;
    for (std::uint64_t pos = 0; pos < io.input_size;) {
        std::size_t n = static_cast<std::size_t>(std::min(block, io.input_size - pos));
        std::span<const std::uint8_t> bytes(io.input_file.need(pos, n), n);
        if (hasher)
            hash_disc_bytes(*hasher, 0, bytes);
        std::size_t whole = n / raw_sector_size;
        if (!anchor && (anchor = anchor_lba(bytes)))
            lba = *anchor;
        check_sectors(bytes, lba, anchor.has_value(), 0, tally);
        lba += static_cast<std::uint32_t>(whole);
        pos += whole * raw_sector_size;
        if (whole * raw_sector_size < n) {
            tally_sector(tally, lba++, fault_cut_short);
            pos = io.input_size;
        }
    }
    // An image that starts at the disc's first sector holds the whole volume.
    if (anchor == 0u && io.input_size >= (descriptor_lsn + 1) * std::uint64_t{raw_sector_size}) {
        const std::uint8_t* sector = io.input_file.need(descriptor_lsn * std::uint64_t{raw_sector_size}, raw_sector_size);
        std::uint32_t volume = volume_sectors(std::span<const std::uint8_t, raw_sector_size>(sector, raw_sector_size));
        if (volume > lba)
            tally_missing(tally, lba, volume - lba);
    }
    io.input_file.close_checked();
}

void print_report(const std::vector<TrackRow>& rows)
{
    unsigned long long read = 0, damaged = 0, unchecked = 0;
    say("%s", table_head_text);
    for (const TrackRow& row : rows) {
        const SectorTally& t = row.tally;
        read += t.read;
        unchecked += t.unchecked;
        damaged += t.read - t.whole - t.unchecked;
        if (t.unchecked > 0)
            say(unchecked_row_text, row.number, static_cast<unsigned long long>(t.read),
                static_cast<unsigned long long>(t.read - t.whole - t.unchecked), row.unchecked_why.c_str());
        else
            say(row_text, row.number, static_cast<unsigned long long>(t.read), static_cast<unsigned long long>(t.whole),
                static_cast<unsigned long long>(t.without_edc),
                static_cast<unsigned long long>(t.read - t.whole - t.unchecked));
        for (std::size_t i = 0; i < t.damage.size() && i < max_ranges_shown; ++i)
            say(range_text, describe_range(t.damage[i]).c_str());
        if (t.damage.size() > max_ranges_shown)
            say(more_ranges_text, t.damage.size() - max_ranges_shown);
        for (const ImageDamage& d : row.image_damage)
            say(image_damage_text, disc_time(d.first_lsn).c_str(), disc_time(d.first_lsn + d.sectors - 1).c_str(),
                d.why.c_str());
    }
    if (damaged == 0) {
        if (unchecked == 0)
            say(whole_text, read);
        else
            say(unchecked_whole_text, read - unchecked, read, unchecked);
        return;
    }
    if (unchecked == 0)
        say(damaged_text, damaged, read);
    else
        say(unchecked_damaged_text, damaged, read, unchecked);
    settings.exit_status = 1;
}

// The name of a disc's files in a DAT: the image's name without its folder
// and extension.
std::string_view base_name(std::string_view name)
{
    name = name.substr(name.find_last_of('/') + 1);
    std::size_t dot = name.rfind('.');
    return dot == 0 || dot == std::string_view::npos ? name : name.substr(0, dot);
}

std::string track_list(const std::vector<TrackRow>& rows, const std::vector<bool>& same, bool want)
{
    std::string numbers;
    std::size_t count = 0;
    for (std::size_t t = 0; t < rows.size(); ++t)
        if (same[t] == want) {
            numbers += (count++ ? ", " : "") + std::to_string(rows[t].number);
        }
    if (count == 0)
        return "";
    const char* verb = want ? (count == 1 ? one_same_text : more_same_text)
                            : (count == 1 ? one_differs_text : more_differ_text);
    return formatted(tracks_same_text, count == 1 ? one_track_text : more_tracks_text, numbers.c_str()) + " " + verb;
}

// The track files' lines, the disc's, and what the DAT says of them.
void print_hashes(const std::vector<TrackRow>& rows, std::span<const RomHashes> roms, std::span<const DatGame> games,
                  const std::string& dat_name)
{
    std::string_view base = base_name(io.input_name);
    for (std::size_t t = 0; t < rows.size(); ++t)
        say(rom_line_text, rom_line(track_file_name(base, rows[t].number, rows.size()), roms[t]).c_str());
    say(rom_line_text, rom_line(std::string(base) + ".bin", roms.back()).c_str());
    say("\n");
    if (dat_name.empty())
        return;
    DatVerdict verdict = match_dat(games, roms.first(rows.size()));
    if (verdict.match) {
        say(dat_match_text, verdict.game->name.c_str(), dat_name.c_str());
        return;
    }
    settings.exit_status = 1;
    if (!verdict.game) {
        say(dat_none_text, dat_name.c_str());
        return;
    }
    std::string same = track_list(rows, verdict.same, true);
    std::string differ = track_list(rows, verdict.same, false);
    say(dat_nearest_text, dat_name.c_str(), verdict.game->name.c_str(), verdict.game->bins.size(),
        (same + (differ.empty() ? "" : ",") + differ).c_str());
}

}  // namespace

void verify(const ModeArgs& args)
{
    // Nothing is copied, so there is nothing to repair or report on.
    settings.fix_blocks = 0;
    settings.remove_bumper = 0;
    const std::string dat_name = args.names.size() > 1 ? args.names[1] : std::string();
    const bool hashes = args.hash_tracks || !dat_name.empty();
    // A DAT that cannot be used ends the run before the image is read.
    DatFile dat;
    if (!dat_name.empty()) {
        dat = read_dat(dat_name);
        if (!dat.error.empty()) {
            say(bad_dat_text, dat_name.c_str(), dat.error.c_str());
            end_run(1);
        }
    }
    DiscHashing hasher;
    if (hashes)
        hasher = start_disc_hashes();
    bool cooked = false;
    // Every byte is only looked at: checking the image where the page cache
    // holds it, without copying it out, makes -verify faster than cat reads
    // the same image.
    std::vector<TrackRow> rows;
    const ImageFormat& format = image_format_of(io.input_name);
    if (format.kind == ImageKind::bare && probe_bare_image(io.input_name) == raw_sector_size) {
        io.input_file.map_files(true);
        verify_raw_image(rows, hasher.get());
    } else {
        say(format.kind == ImageKind::cue_sheet ? cue_source_text : disc_source_text, io.input_name.c_str());
        say("%s", method_text);
        DiscImage image = format.open(io.input_name);
        cooked = std::any_of(image.runs.begin(), image.runs.end(),
                             [](const DiscRun& run) {
                                 const SectorFraming& f = framing_of(run);
                                 return f.raw_start + f.raw_bytes != raw_sector_size;
                             });
        if (cooked)
            hasher.reset();
        image.damage->quiet = true;
        map_image_files(image);
        check_image(image, rows, hasher.get());
        // Damage in sectors that have nothing to check (audio) counts too.
        if (!image.damage->found.empty())
            settings.exit_status = 1;
    }
    if (rows.empty())
        return;
    print_report(rows);
    if (hasher) {
        print_hashes(rows, finish_disc_hashes(*hasher, rows.size()), dat.games, dat_name);
    } else if (cooked && hashes) {
        say("%s", no_hashes_text);
        if (!dat_name.empty())
            settings.exit_status = 1;
    }
}
