#include "engine/scanner.h"

#include <algorithm>
#include <array>

#include "run/run_state.h"

namespace {

// Consecutive blocks overlap by 5 bytes so that a 4-byte code cut by one
// block's end lies whole in the next.
constexpr std::uint32_t scan_block = 5000;
constexpr std::uint32_t scan_step = 4995;
// A find is only useful with one whole raw sector behind it.
constexpr std::uint32_t room_after_find = raw_sector_size;

}  // namespace

std::int32_t find_pattern(const std::uint8_t* text, const std::uint8_t* pattern, std::int32_t text_len,
                          std::int32_t pattern_len)
{
    if (pattern_len < 1)
        return -1;
    const std::int32_t last = pattern_len - 1;
    // The skip rule: when the byte under the pattern's last position differs
    // from the pattern's last byte, the window moves until that byte lies
    // under its rightmost occurrence further left in the pattern, or past it.
    std::array<std::int32_t, 256> skip;
    skip.fill(pattern_len);
    for (std::int32_t k = 0; k < last; ++k)
        skip[pattern[k]] = last - k;

    // Bytes that move the window by its whole length. Runs of them are the
    // common case; testing four windows ahead at once keeps the loads
    // independent of each other without changing where the windows fall.
    std::array<std::uint8_t, 256> whole_move{};
    for (int c = 0; c < 256; ++c)
        whole_move[static_cast<std::size_t>(c)] = skip[static_cast<std::size_t>(c)] == pattern_len && c != pattern[last];

    std::int32_t window_end = last;
    while (window_end <= text_len - 1) {
        while (window_end + 3 * pattern_len <= text_len - 1 &&
               (whole_move[text[window_end]] & whole_move[text[window_end + pattern_len]] &
                whole_move[text[window_end + 2 * pattern_len]] & whole_move[text[window_end + 3 * pattern_len]]))
            window_end += 4 * pattern_len;
        if (window_end > text_len - 1)
            break;
        std::uint8_t under_last = text[window_end];
        if (under_last != pattern[last]) {
            window_end += skip[under_last];
            continue;
        }
        // Compare right to left. Once the last byte has matched, the byte
        // under it occurs nowhere else in the pattern (true of both start
        // codes), so a mismatch at j moves the window by j + 1.
        std::int32_t j = last - 1;
        while (j >= 0 && pattern[j] == text[window_end - (last - j)])
            --j;
        if (j < 0)
            return window_end - last;
        window_end += j + 1;
    }
    return -1;
}

std::optional<std::uint64_t> find_from(BlockReader& in, const std::uint8_t* pattern, std::uint64_t from,
                                       std::uint64_t limit)
{
    if (from + scan_block > limit)
        return std::nullopt;
    // Blocks overlap by more than a pattern's length, so together they are
    // searched as the one stretch they cover; the stretch is searched in
    // buffer-sized views that overlap the same way.
    std::uint64_t blocks = (limit - from - scan_block) / scan_step + 1;
    std::uint64_t end = from + (blocks - 1) * scan_step + scan_block;
    for (std::uint64_t pos = from; pos + 4 <= end;) {
        auto n = static_cast<std::size_t>(std::min<std::uint64_t>(end - pos, in.capacity()));
        std::int32_t r = find_pattern(in.need(pos, n), pattern, static_cast<std::int32_t>(n), 4);
        if (r >= 0)
            return pos + static_cast<std::uint64_t>(r);
        // The last three bytes may begin an occurrence the next view holds whole.
        pos += n - 3;
    }
    return std::nullopt;
}

bool scan_for_pattern(BlockReader& in, const std::uint8_t* pattern, std::uint64_t limit, bool show_progress)
{
    std::uint64_t from = settings.input_pos;
    if (from + scan_block > limit)
        return false;
    // Searched a MiB of blocks at a time so that the percentage lines come
    // while the search goes on: one line per block whose end moves the
    // percentage, up to the block that holds the find.
    constexpr std::uint64_t blocks_per_step = (1u << 20) / scan_step + 1;
    std::uint64_t limit_mib = limit >> 20 ? limit >> 20 : 1;
    std::int32_t last_percent = -127;
    std::uint64_t block = 0;
    for (;;) {
        std::uint64_t start = from + block * scan_step;
        if (start + scan_block > limit) {
            settings.input_pos = start;
            return false;
        }
        std::uint64_t step_limit = std::min(limit, start + (blocks_per_step - 1) * scan_step + scan_block);
        std::optional<std::uint64_t> at = find_from(in, pattern, start, step_limit);
        std::uint64_t blocks_read = (step_limit - start - scan_block) / scan_step + 1;
        if (at && *at + 4 > start + scan_block)
            blocks_read = (*at + 4 - start - scan_block + scan_step - 1) / scan_step + 1;
        else if (at)
            blocks_read = 1;
        for (std::uint64_t b = block; b < block + blocks_read && show_progress; ++b) {
            auto percent = static_cast<std::int32_t>((((from + (b + 1) * scan_step) >> 20) * 100) / limit_mib);
            if (percent != last_percent) {
                last_percent = percent;
                say("\xfe %d%%\r", percent);
                flush_progress();
            }
        }
        block += blocks_read;
        if (at) {
            settings.input_pos = *at;
            return *at + room_after_find <= limit;
        }
    }
}
