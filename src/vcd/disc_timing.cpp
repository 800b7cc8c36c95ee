#include "vcd/disc_timing.h"

#include <algorithm>
#include <array>
#include <set>
#include <span>

#include "io/report.h"
#include "mpeg/pack_times.h"
#include "sector/formats.h"
#include "sector/msf.h"

namespace {

// A pregap sector as vcdxbuild writes it: file 0, channel 0, Form 2 and
// nothing else in the submode, no coding information, user data all zero.
constexpr std::uint8_t gap_subheader[4] = {0x00, 0x00, 0x20, 0x00};

// A picture's time counts from the lowest presentation time of its item,
// which lies in the first packs: the first two seconds of sectors from the
// first pack on are looked at.
constexpr std::uint32_t lowest_time_sectors = 150;
// How far past an entry's sector its first picture is looked for.
constexpr std::uint32_t picture_search_sectors = 75;

// vcdxbuild's defaults, in sectors.
constexpr unsigned default_pregap = 150;
constexpr unsigned default_vcd_front_margin = 30;
constexpr unsigned default_vcd_rear_margin = 45;

constexpr const char* uneven_text = "tracks with different %s";
constexpr const char* untimed_entry_text = "entry %u, on no picture";
constexpr const char* off_picture_text = "entry %u, on a sector before its picture";
constexpr const char* untimed_pause_text = "an auto-pause on a sector without a time stamp";
constexpr const char* scan_offsets_text = "scan information updated in some items only";

// An SVCD's MPEG-2 video carries scan information in user data: tag 0x10
// and length 14, then four places of pictures to scan to (the previous and next
// ones, the furthest back and ahead), each as a disc time of minute, second
// and frame in BCD with the top bit of second and frame set, counted from
// the item's first packet; ff ff ff for none.
constexpr std::uint8_t scan_information[] = {0x00, 0x00, 0x01, 0xb2, 0x10, 0x0e};
constexpr std::size_t scan_places = 4;
enum ScanPlace { scan_previous, scan_next, scan_back, scan_ahead };
constexpr std::int64_t no_place = -1;

void note(DiscTiming& timing, const std::string& what)
{
    if (std::find(timing.uncarried.begin(), timing.uncarried.end(), what) == timing.uncarried.end())
        timing.uncarried.push_back(what);
}

std::span<const std::uint8_t> block_at(const DiscImage& image, std::uint32_t lsn)
{
    return {read_disc_sector(image, lsn) + form2_data_offset, form2_data_size};
}

// A sector the image leaves out (a Nero image keeps no pregaps) counts as
// a gap.
bool is_gap(const DiscImage& image, std::uint32_t lsn)
{
    if (run_of(image, lsn) == nullptr)
        return true;
    const std::uint8_t* s = read_disc_sector(image, lsn);
    return std::equal(std::begin(gap_subheader), std::end(gap_subheader), s + 16) &&
           std::all_of(s + form2_data_offset, s + form2_data_offset + form2_data_size, [](std::uint8_t b) { return b == 0; });
}

// Gap sectors right in front of `lsn`.
unsigned gap_before(const DiscImage& image, std::uint32_t lsn)
{
    unsigned n = 0;
    while (n < lsn && is_gap(image, lsn - 1 - n))
        ++n;
    return n;
}

std::optional<std::uint64_t> lowest_time(const DiscImage& image, std::uint32_t first, std::uint32_t sectors)
{
    std::uint32_t end = first + sectors;
    while (first < end && !pack_clock(block_at(image, first)))
        ++first;
    std::optional<std::uint64_t> lowest;
    for (std::uint32_t lsn = first; lsn < end && lsn - first < lowest_time_sectors; ++lsn)
        if (std::optional<std::uint64_t> t = pack_times(block_at(image, lsn)).lowest)
            lowest = std::min(lowest.value_or(*t), *t);
    return lowest;
}

std::uint64_t since(std::uint64_t pts, std::uint64_t lowest)
{
    return pts > lowest ? pts - lowest : 0;
}

// The times of the triggers that lie in the item's sectors.
std::vector<std::uint64_t> pauses(const DiscImage& image, std::uint32_t first, std::uint32_t sectors,
                                  std::span<const std::uint32_t> triggers, DiscTiming& timing)
{
    std::vector<std::uint64_t> times;
    std::optional<std::uint64_t> lowest;
    for (std::uint32_t lsn : triggers) {
        if (lsn < first || lsn - first >= sectors)
            continue;
        if (!lowest)
            lowest = lowest_time(image, first, sectors);
        std::optional<std::uint64_t> pts = pack_times(block_at(image, lsn)).first;
        if (pts && lowest)
            times.push_back(since(*pts, *lowest));
        else
            note(timing, untimed_pause_text);
    }
    return times;
}

bool has_sequence_header(std::span<const std::uint8_t> block)
{
    for (std::size_t i = 0; i + 4 <= block.size(); ++i)
        if (block[i] == 0 && block[i + 1] == 0 && block[i + 2] == 1 && block[i + 3] == 0xb3)
            return true;
    return false;
}

void read_entry_times(const DiscImage& image, const DiscLayout& layout, DiscTiming& timing)
{
    timing.entry_ticks.assign(layout.entries.size(), std::nullopt);
    for (const SequenceItem& item : layout.sequences) {
        std::optional<std::uint64_t> lowest = lowest_time(image, item.first_lsn, item.sectors);
        std::uint32_t end = item.first_lsn + item.sectors;
        for (std::size_t k = 0; k < item.entries.size(); ++k) {
            std::uint32_t lsn = layout.entries[item.entries[k]].lsn;
            for (std::uint32_t at = lsn; lowest && at < end && at - lsn < picture_search_sectors; ++at) {
                std::span<const std::uint8_t> block = block_at(image, at);
                if (std::optional<std::uint64_t> pts = pack_times(block).first_video) {
                    timing.entry_ticks[item.entries[k]] = since(*pts, *lowest);
                    // The strict rule puts an entry only where a sequence
                    // header starts the picture's group.
                    if (k > 0 && at == lsn && !has_sequence_header(block))
                        timing.relaxed_aps = true;
                    if (k > 0 && at != lsn)
                        note(timing, formatted(off_picture_text, item.entries[k] + 1u));
                    break;
                }
            }
            if (k > 0 && !timing.entry_ticks[item.entries[k]])
                note(timing, formatted(untimed_entry_text, item.entries[k] + 1u));
        }
    }
}

// One value for every track, from the sequences that have files of their
// own; nothing when none has.
template <typename Measure>
std::optional<unsigned> per_track(const DiscLayout& layout, const char* what, DiscTiming& timing, Measure measure)
{
    std::optional<unsigned> value;
    for (const SequenceItem& item : layout.sequences) {
        if (item.disc_path.empty())
            continue;
        unsigned v = measure(item);
        if (value && *value != v)
            note(timing, formatted(uneven_text, what));
        value = value.value_or(v);
    }
    return value;
}

void read_layout_options(const DiscImage& image, const DiscLayout& layout, DiscTiming& timing)
{
    bool svcd = layout.kind == DiscKind::svcd || layout.kind == DiscKind::hqvcd;
    auto add = [&](const char* name, std::optional<unsigned> value, unsigned default_value) {
        if (value && *value != default_value)
            timing.layout_options.push_back({name, *value});
    };
    add("track pregap", per_track(layout, "pregaps", timing, [&](const SequenceItem& s) {
            return gap_before(image, s.first_lsn);
        }), default_pregap);
    if (!layout.sequences.empty())
        add("leadout pregap", gap_before(image, image.sectors), default_pregap);
    add("track front margin", per_track(layout, "front margins", timing, [&](const SequenceItem& s) {
            unsigned n = 0;
            while (n < s.sectors && !carries_payload(image, s.first_lsn + n))
                ++n;
            return n;
        }), svcd ? 0 : default_vcd_front_margin);
    add("track rear margin", per_track(layout, "rear margins", timing, [&](const SequenceItem& s) {
            unsigned n = 0;
            while (n < s.sectors && !carries_payload(image, s.first_lsn + s.sectors - 1 - n))
                ++n;
            return n;
        }), svcd ? 0 : default_vcd_rear_margin);
}

// The first form: a play time per track (3 bytes each), then one byte of
// stream kinds per track whose video bits are never 0 for a movie track,
// then zeros. The later form: 5 bytes per track.
bool tracks_file_is_v30(const DiscImage& image, const DiscLayout& layout)
{
    for (const DiscFile& f : layout.files) {
        if (f.directory || f.path != "SVCD/TRACKS.SVD" || f.sectors == 0)
            continue;
        std::span<const std::uint8_t> b(read_disc_sector(image, f.lsn) + form2_data_offset, mode1_data_size);
        std::size_t n = b[10];
        if (n == 0 || 11 + 5 * n > b.size())
            return false;
        for (std::size_t k = 0; k < n; ++k)
            if (((b[11 + 3 * n + k] >> 2) & 7) == 0 || b[11 + 4 * n + k] != 0)
                return true;
    }
    return false;
}

// The places of the last scan information of the sector (vcdxbuild
// rewrites only that one), with false when one is not a place.
std::optional<std::pair<std::array<std::int64_t, scan_places>, bool>> last_scan_places(std::span<const std::uint8_t> block)
{
    auto found = std::find_end(block.begin(), block.end(), std::begin(scan_information), std::end(scan_information));
    std::size_t at = static_cast<std::size_t>(found - block.begin()) + sizeof scan_information;
    if (found == block.end() || at + 3 * scan_places > block.size())
        return std::nullopt;
    std::array<std::int64_t, scan_places> places{};
    bool sound = true;
    for (std::size_t k = 0; k < scan_places; ++k) {
        const std::uint8_t* b = block.data() + at + 3 * k;
        places[k] = no_place;
        if (b[0] == 0xff && b[1] == 0xff && b[2] == 0xff)
            continue;
        std::uint8_t s = b[1] & 0x7f, f = b[2] & 0x7f;
        sound = sound && (b[1] & 0x80) && (b[2] & 0x80) && is_bcd(b[0]) && is_bcd(s) && is_bcd(f) &&
                from_bcd(s) < 60 && from_bcd(f) < 75;
        places[k] = (from_bcd(b[0]) * 60 + from_bcd(s)) * 75 + from_bcd(f);
    }
    return std::pair{places, sound};
}

enum class ScanState { none, updated, other };

// What "update scan offsets" writes, seen from its result: every sector's
// scan information names, by packet (sectors from the item's first one that
// carries payload), the nearest picture before and after among one set of
// pictures, and as the furthest back and ahead one of that set on the same
// side, or the sector itself when it has none in reach. An encoder's own
// values (placeholders, other counts) do not hold together so.
ScanState item_scan_state(const ItemScan& scan)
{
    if (scan.other)
        return ScanState::other;
    if (scan.records.empty())
        return ScanState::none;
    std::set<std::int64_t> pictures;
    for (const auto& [packet, places] : scan.records)
        for (std::int64_t p : {places[scan_previous], places[scan_next]})
            if (p != no_place)
                pictures.insert(p);
    if (!pictures.empty() && *pictures.rbegin() >= std::int64_t{scan.end} - scan.first)
        return ScanState::other;
    for (const auto& [packet, places] : scan.records) {
        auto after = pictures.upper_bound(packet);
        auto before = pictures.lower_bound(packet);
        std::int64_t next = after == pictures.end() ? no_place : *after;
        std::int64_t previous = before == pictures.begin() ? no_place : *std::prev(before);
        std::int64_t back = places[scan_back], ahead = places[scan_ahead];
        if (places[scan_previous] != previous || places[scan_next] != next ||
            (back != packet && (!pictures.count(back) || back > previous || previous == no_place)) ||
            (ahead != packet && (!pictures.count(ahead) || ahead < next || next == no_place)))
            return ScanState::other;
    }
    return ScanState::updated;
}

}  // namespace

DiscTiming read_disc_timing(const DiscImage& image, const DiscLayout& layout)
{
    DiscTiming timing;
    read_entry_times(image, layout, timing);
    read_layout_options(image, layout, timing);
    timing.tracks_v30 = tracks_file_is_v30(image, layout);
    return timing;
}

bool carries_payload(const DiscImage& image, std::uint32_t lsn)
{
    return (read_disc_sector(image, lsn)[submode_offset] & submode_payload) != 0;
}

void add_auto_pauses(const DiscImage& image, const DiscLayout& layout, std::span<const std::uint32_t> triggers,
                     DiscTiming& timing)
{
    for (const SequenceItem& item : layout.sequences)
        timing.sequence_pauses.push_back(pauses(image, item.first_lsn, item.sectors, triggers, timing));
    for (const SegmentItem& item : layout.segments)
        timing.segment_pauses.push_back(pauses(image, item.first_lsn, item.sectors, triggers, timing));
}

void note_scan_sector(ItemScan& scan, std::uint32_t lsn, std::span<const std::uint8_t> user_data)
{
    if (scan.other || lsn < scan.first)
        return;
    auto places = last_scan_places(user_data);
    if (!places)
        return;
    if (!places->second)
        scan.other = true;
    else
        scan.records.emplace_back(lsn - scan.first, places->first);
}

void add_scan_offsets(std::span<const ItemScan> items, DiscTiming& timing)
{
    bool updated = false, other = false;
    for (const ItemScan& scan : items) {
        ScanState state = item_scan_state(scan);
        updated = updated || state == ScanState::updated;
        other = other || state == ScanState::other;
    }
    timing.scan_offsets_updated = updated && !other;
    if (updated && other)
        note(timing, scan_offsets_text);
}
