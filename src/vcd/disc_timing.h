// What a disc's sectors say of how it was authored, beyond its info files:
// the gaps and margins around its tracks, the pictures its entries lie on,
// the auto-pause points its subheaders mark, the form of its SVCD track
// file. The description and the chapters are written from this.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "image/disc_image.h"
#include "vcd/disc_layout.h"

// A layout option of vcdxbuild's whose value the disc shows off its default.
struct LayoutOption {
    const char* name;  // "track pregap", "leadout pregap", "track front margin", "track rear margin"
    unsigned sectors;
};

struct DiscTiming {
    // Per layout.entries: the time of the first picture at or after the
    // entry's sector, in 90 kHz ticks from its sequence's lowest time stamp.
    std::vector<std::optional<std::uint64_t>> entry_ticks;
    // Per sequence and per segment item: the times (ticks, counted the same
    // way) of the sectors whose subheader carries the trigger bit.
    std::vector<std::vector<std::uint64_t>> sequence_pauses;
    std::vector<std::vector<std::uint64_t>> segment_pauses;
    std::vector<LayoutOption> layout_options;
    // An entry lies on a picture with no sequence header in front of it.
    bool relaxed_aps = false;
    // SVCD/TRACKS.SVD in the later form: cumulative times and two bytes of
    // stream kinds per track.
    bool tracks_v30 = false;
    // The scan information of the MPEG-2 items points at the sectors of
    // their pictures, as vcdxbuild's "update scan offsets" writes it.
    bool scan_offsets_updated = false;
    // What the disc holds that no description can say, one phrase each.
    std::vector<std::string> uncarried;
};

// Reads the sectors of the layout's items and gaps through read_disc_sector;
// the auto-pause points come after, from add_auto_pauses.
DiscTiming read_disc_timing(const DiscImage& image, const DiscLayout& layout);

// The scan information of one item, gathered as its copy passes each sector
// (it is in the video stream's user data, so only a copy reads all of it).
struct ItemScan {
    std::uint32_t first = 0;  // the item's first sector that carries payload
    std::uint32_t end = 0;    // one past its last sector
    bool other = false;       // a place that is no place: the encoder's own values
    std::vector<std::pair<std::int64_t, std::array<std::int64_t, 4>>> records;  // packet, places
};
void note_scan_sector(ItemScan& scan, std::uint32_t lsn, std::span<const std::uint8_t> user_data);

// Whether the disc was built with vcdxbuild's "update scan offsets", from
// every item's scan information: at least one item holds together as it
// writes them and none holds other values.
void add_scan_offsets(std::span<const ItemScan> items, DiscTiming& timing);

// Whether the sector's subheader says it carries video, audio or data.
bool carries_payload(const DiscImage& image, std::uint32_t lsn);

// The auto-pause points of every item, from the sectors whose subheader
// carries the trigger bit: the copies find them as they pass every sector,
// so the disc is not read a second time for them.
void add_auto_pauses(const DiscImage& image, const DiscLayout& layout, std::span<const std::uint32_t> triggers,
                     DiscTiming& timing);
