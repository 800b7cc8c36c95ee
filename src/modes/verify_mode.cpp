// -verify: reads every sector of a CUE/BIN image or of a raw track image
// once, checks what each sector promises about itself and reports track by
// track. Nothing is written.
#include <algorithm>

#include "image/cue_sheet.h"
#include "image/disc_image.h"
#include "sector/sector_check.h"
#include "modes/modes.h"
#include "modes/single_file.h"
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
constexpr const char* more_ranges_text = "           ... and %zu more damaged ranges\n";
constexpr const char* whole_text = "\n\xfe verified: all %llu sectors whole.\n\n";
constexpr const char* damaged_text = "\n\xfe verified: %llu of %llu sectors damaged.\n\n";

// A track with ranges in every few sectors would flood the screen.
constexpr std::size_t max_ranges_shown = 100;

struct TrackRow {
    int number = 0;
    std::string unchecked_why;
    SectorTally tally;
};

// A stretch of one BIN read as sectors of one size, the first at first_lba.
struct Region {
    std::uint16_t bin = 0;
    std::uint64_t start = 0, end = 0;
    std::uint32_t sector_size = 0;
    std::uint8_t mode = 0;  // 1 or 2 for raw data sectors; 0 where there is nothing to check
    std::uint32_t first_lba = 0;
    std::size_t row = 0;
};

// Reads the region in large blocks and feeds its sectors to the tally.
void check_region(const Region& r, SectorTally& tally)
{
    open_bin_image(r.bin);
    const std::uint64_t block = io.input_file.capacity() / r.sector_size * r.sector_size;
    std::uint32_t lba = r.first_lba;
    for (std::uint64_t pos = r.start; pos < r.end;) {
        std::size_t n = static_cast<std::size_t>(std::min(block, r.end - pos));
        const std::uint8_t* bytes = io.input_file.need(pos, n);
        std::size_t whole = n / r.sector_size;
        if (r.mode != 0) {
            check_sectors({bytes, whole * raw_sector_size}, lba, true, r.mode, tally);
        } else {
            tally.read += whole;
            tally.unchecked += whole;
        }
        lba += static_cast<std::uint32_t>(whole);
        pos += whole * r.sector_size;
        if (whole * r.sector_size < n) {
            tally_sector(tally, lba, fault_cut_short);
            pos = r.end;
        }
    }
}

// The BINs lie one after another on the disc, the first sector of the first
// at LBA 0. Each entry's stretch runs to the next entry of its BIN (the first
// from the BIN's start, the last to its end); a BIN the sheet gives no entry
// is read as the entry before it says, or the one after.
std::vector<Region> sheet_regions(const ParsedSheet& sheet, std::vector<TrackRow>& rows)
{
    const std::vector<TrackRecord>& entries = sheet.entries;
    std::vector<std::size_t> row_of(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i == 0 || entries[i].track_number != entries[i - 1].track_number)
            rows.push_back({entries[i].track_number, "", {}});
        row_of[i] = rows.size() - 1;
    }
    std::vector<Region> regions;
    std::uint32_t lba = 0;
    std::size_t next = 0;  // the first entry not yet placed
    for (std::uint16_t b = 0; b < bin_images.size(); ++b) {
        const std::uint64_t size = bin_images[b].size;
        std::size_t first = next;
        while (next < entries.size() && entries[next].bin == b)
            ++next;
        std::size_t last = next;
        if (first == last) {  // no entry of its own
            first = first > 0 ? first - 1 : std::min(first, entries.size() - 1);
            last = first + 1;
        }
        std::uint64_t start = 0;
        for (std::size_t i = first; i < last; ++i) {
            const TrackRecord& e = entries[i];
            std::uint64_t end = size;
            if (i + 1 < last)
                end = std::clamp(entries[i + 1].start_offset, start, size);
            Region r{b, start, end, e.sector_size, 0, lba, row_of[i]};
            bool raw_data = e.sector_size == raw_sector_size && (e.track_mode == '1' || e.track_mode == '2');
            r.mode = raw_data ? static_cast<std::uint8_t>(e.track_mode - '0') : 0;
            if (!raw_data && e.sector_size == raw_sector_size)
                rows[r.row].unchecked_why = audio_text;
            else if (!raw_data)
                rows[r.row].unchecked_why = std::string(cooked_text).replace(0, 2, std::to_string(e.sector_size));
            lba += static_cast<std::uint32_t>((end - start + e.sector_size - 1) / e.sector_size);
            regions.push_back(r);
            start = end;
        }
    }
    return regions;
}

void verify_sheet(std::vector<TrackRow>& rows)
{
    say(cue_source_text, io.input_name.c_str());
    say("%s", method_text);
    ParsedSheet sheet = load_cue_sheet();
    // A single Mode 1 track may come without INDEX, or with its INDEX before
    // its TRACK line: the track's type then holds for it.
    if (sheet.entries.empty()) {
        sheet.entries.emplace_back();
        sheet.entries.back().track_number = 1;
    }
    for (TrackRecord& e : sheet.entries)
        if (e.sector_size == 0) {
            e.sector_size = sheet.sector_size;
            e.track_mode = sheet.mode_char;
        }
    for (const Region& r : sheet_regions(sheet, rows))
        check_region(r, rows[r.row].tally);
    io.input_file.close();
}

// No place on the disc is known: the first sector with a sound header that
// its successor confirms fixes the place of every other.
void verify_raw_image(std::vector<TrackRow>& rows)
{
    say(raw_source_text, io.input_name.c_str());
    say("%s", method_text);
    if (!open_single_input())
        return;
    io.input_size = file_size(io.input_file);
    rows.push_back({1, "", {}});
    SectorTally& tally = rows.back().tally;
    const std::uint64_t block = io.input_file.capacity() / raw_sector_size * raw_sector_size;
    std::optional<std::uint32_t> anchor;
    std::uint32_t lba = 0;
    for (std::uint64_t pos = 0; pos < io.input_size;) {
        std::size_t n = static_cast<std::size_t>(std::min(block, io.input_size - pos));
        std::span<const std::uint8_t> bytes(io.input_file.need(pos, n), n);
        std::size_t whole = n / raw_sector_size;
        if (!anchor && (anchor = anchor_lba(bytes)))
            lba = *anchor;
        check_sectors(bytes, lba, anchor.has_value(), 0, tally);
        lba += static_cast<std::uint32_t>(whole);
        pos += whole * raw_sector_size;
        if (whole * raw_sector_size < n) {
            tally_sector(tally, lba, fault_cut_short);
            pos = io.input_size;
        }
    }
    io.input_file.close();
}

// A TOC image, a Nero image or a drive: its tracks as the source gives them,
// every sector at its place on the disc. Sectors read through libcdio or
// kept from their subheader on get their sync and header from that place,
// so those two checks say nothing there.
void verify_disc_image(std::vector<TrackRow>& rows)
{
    say(disc_source_text, io.input_name.c_str());
    say("%s", method_text);
    DiscImage image = open_disc_image();
    std::vector<DiscTrackStart> tracks = image.tracks;
    if (tracks.empty() || tracks.front().first_lsn != 0)
        tracks.insert(tracks.begin(), {1, 0});
    for (const DiscTrackStart& track : tracks)
        rows.push_back({track.number, "", {}});
    std::size_t row = 0;
    for (const DiscRun& run : image.runs) {
        std::uint32_t lsn = run.first_lsn, end = run.first_lsn + run.sectors;
        open_bin_image(run.bin);
        while (lsn < end) {
            while (row + 1 < tracks.size() && tracks[row + 1].first_lsn <= lsn)
                ++row;
            std::uint32_t stop = row + 1 < tracks.size() ? std::min(end, tracks[row + 1].first_lsn) : end;
            if (run.sector_size != raw_sector_size) {
                tally_sector(rows[row].tally, lsn, check_sector(std::span<const std::uint8_t, raw_sector_size>(
                                                                     read_disc_sector(image, lsn), raw_sector_size),
                                                                 lsn));
                ++lsn;
                continue;
            }
            std::uint32_t n = std::min<std::uint32_t>(stop - lsn, static_cast<std::uint32_t>(io.input_file.capacity() / raw_sector_size));
            std::uint64_t at = run.offset + std::uint64_t{lsn - run.first_lsn} * raw_sector_size;
            check_sectors({io.input_file.need(at, std::size_t{n} * raw_sector_size), std::size_t{n} * raw_sector_size}, lsn,
                          true, 0, rows[row].tally);
            lsn += n;
        }
    }
    io.input_file.close();
}

bool names_a_sheet(const std::string& name)
{
    if (name.size() < 4)
        return false;
    std::string end = name.substr(name.size() - 4);
    std::transform(end.begin(), end.end(), end.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; });
    return end == ".cue";
}

void print_report(const std::vector<TrackRow>& rows)
{
    unsigned long long read = 0, damaged = 0;
    say("%s", table_head_text);
    for (const TrackRow& row : rows) {
        const SectorTally& t = row.tally;
        read += t.read;
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
    }
    if (damaged == 0) {
        say(whole_text, read);
        return;
    }
    say(damaged_text, damaged, read);
    settings.exit_status = 1;
}

}  // namespace

void verify()
{
    // Nothing is copied, so there is nothing to repair or report on.
    settings.fix_blocks = 0;
    settings.remove_bumper = 0;
    std::vector<TrackRow> rows;
    if (names_a_sheet(io.input_name))
        verify_sheet(rows);
    else if (names_a_disc_image(io.input_name))
        verify_disc_image(rows);
    else
        verify_raw_image(rows);
    if (!rows.empty())
        print_report(rows);
}
