// GNU ddrescue's mapfile: which bytes of an image are whole ('+'), damaged
// ('-') or were never read ('?'), in hexadecimal byte positions and sizes,
// so that ddrescuelog reads the map of a merged image and ddrescueview
// draws it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct MapBlock {
    std::uint64_t pos = 0;
    std::uint64_t size = 0;
    char status = '?';
};

// Appends a block, joining it to the last one where it goes on with the
// same status.
void add_map_block(std::vector<MapBlock>& blocks, std::uint64_t pos, std::uint64_t size, char status);

// The mapfile's text: its heading, the status line (finished where no block
// is left unread) and one line per block.
std::string rescue_map_text(std::span<const MapBlock> blocks);

// The blocks of a mapfile, in order, or nothing where the text is not one
// (a line that does not parse, blocks out of order or overlapping, a status
// ddrescue does not write).
std::optional<std::vector<MapBlock>> parse_rescue_map(std::string_view text);
