#include "image/rescue_map.h"

#include <cinttypes>
#include <cstdio>

#include "io/report.h"

namespace {

constexpr const char* heading_text = "# Mapfile. Created by Mivaro\n";
constexpr const char* status_head_text = "# current_pos  current_status  current_pass\n";
constexpr const char* status_line_text = "0x%08" PRIX64 "     %c               1\n";
constexpr const char* blocks_head_text = "#      pos        size  status\n";
constexpr const char* block_line_text = "0x%08" PRIX64 "  0x%08" PRIX64 "  %c\n";

// Block statuses ddrescue writes: not tried, not trimmed, not scraped, bad,
// finished.
constexpr std::string_view block_statuses = "?*/-+";
// And those the status line may give besides: filling, generating.
constexpr std::string_view pass_statuses = "?*/-+FG";

std::optional<std::uint64_t> hex_field(std::string_view& line)
{
    std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos || line.substr(start, 2) != "0x")
        return std::nullopt;
    std::uint64_t value = 0;
    std::size_t i = start + 2, digits = 0;
    for (; i < line.size(); ++i, ++digits) {
        char c = line[i];
        int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (d < 0)
            break;
        if (value >> 60)
            return std::nullopt;
        value = value << 4 | static_cast<std::uint64_t>(d);
    }
    line.remove_prefix(i);
    return digits ? std::optional(value) : std::nullopt;
}

std::optional<char> status_field(std::string_view& line, std::string_view allowed)
{
    std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos || allowed.find(line[start]) == std::string_view::npos ||
        (start + 1 < line.size() && line[start + 1] != ' ' && line[start + 1] != '\t' && line[start + 1] != '\r'))
        return std::nullopt;
    char status = line[start];
    line.remove_prefix(start + 1);
    return status;
}

}  // namespace

void add_map_block(std::vector<MapBlock>& blocks, std::uint64_t pos, std::uint64_t size, char status)
{
    if (size == 0)
        return;
    if (!blocks.empty() && blocks.back().status == status && blocks.back().pos + blocks.back().size == pos)
        blocks.back().size += size;
    else
        blocks.push_back({pos, size, status});
}

std::string rescue_map_text(std::span<const MapBlock> blocks)
{
    bool finished = true;
    for (const MapBlock& b : blocks)
        finished = finished && b.status != '?';
    std::uint64_t end = blocks.empty() ? 0 : blocks.back().pos + blocks.back().size;
    std::string text = std::string(heading_text) + status_head_text +
                       formatted(status_line_text, finished ? end : std::uint64_t{0}, finished ? '+' : '?') +
                       blocks_head_text;
    for (const MapBlock& b : blocks)
        text += formatted(block_line_text, b.pos, b.size, b.status);
    return text;
}

std::optional<std::vector<MapBlock>> parse_rescue_map(std::string_view text)
{
    std::vector<MapBlock> blocks;
    bool status_line_seen = false;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        std::size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string_view::npos || line[first] == '#')
            continue;
        std::optional<std::uint64_t> pos = hex_field(line);
        if (!pos)
            return std::nullopt;
        if (!status_line_seen) {
            // current_pos, current_status and (since ddrescue 1.21) the pass.
            if (!status_field(line, pass_statuses))
                return std::nullopt;
            status_line_seen = true;
            continue;
        }
        std::optional<std::uint64_t> size = hex_field(line);
        std::optional<char> status = size ? status_field(line, block_statuses) : std::nullopt;
        std::uint64_t next = blocks.empty() ? 0 : blocks.back().pos + blocks.back().size;
        if (!status || *pos < next || *size > ~std::uint64_t{0} - *pos || line.find_first_not_of(" \t\r") != line.npos)
            return std::nullopt;
        blocks.push_back({*pos, *size, *status});
    }
    if (!status_line_seen)
        return std::nullopt;
    return blocks;
}
