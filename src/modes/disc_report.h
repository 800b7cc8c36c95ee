// What the whole-disc mode tells the user of a disc, and the chapter files
// it writes beside a sequence with several entry points.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vcd/disc_layout.h"

// The sectors of an item that carry its stream, and the clocks of the first
// and last pack in them (90 kHz ticks).
struct ItemExtent {
    std::uint32_t first_lsn = 0;
    std::uint32_t sectors = 0;
    std::optional<std::uint64_t> first_clock;
    std::optional<std::uint64_t> last_clock;
};

// The playing time in 90 kHz ticks: from the first pack's clock to the last
// one's, and one sector's share more for the last pack's own data.
std::uint64_t item_length(const ItemExtent& extent);

// An FFMETADATA1 file of one chapter per entry; times in 90 kHz ticks from
// the start of the stream, the last chapter ending at length.
std::string chapters_text(const std::vector<std::uint64_t>& times, std::uint64_t length);

// The disc's kind and names, the sequences and segment items in two tables.
void print_disc_report(const DiscLayout& layout, const std::vector<ItemExtent>& sequences,
                       const std::vector<ItemExtent>& segments);

// The first option given that a whole-disc mode cannot honour (-track##,
// -r####, -w####: every item or sector is written whole), or nullptr.
const char* whole_disc_refused_option();
