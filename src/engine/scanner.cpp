#include "engine/scanner.h"

#include <array>

#include "state/run_state.h"

namespace {

// Consecutive blocks overlap by 5 bytes so that a 4-byte code cut by one
// block's end lies whole in the next.
constexpr std::uint32_t scan_block = 5000;
constexpr std::uint32_t scan_step = 4995;
// A find is only useful with one whole raw sector behind it.
constexpr std::uint32_t room_after_find = 2352;

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

bool scan_for_pattern(const std::uint8_t* pattern, std::uint64_t limit, bool show_progress)
{
    std::int32_t last_percent = -127;
    std::uint64_t limit_mib = limit >> 20;
    if (limit_mib == 0)
        limit_mib = 1;
    for (;;) {
        if (settings.input_pos + scan_block > limit)
            return false;
        const std::uint8_t* block = io.input_file.next(scan_block);
        settings.input_pos += scan_step;
        if (show_progress) {
            auto percent = static_cast<std::int32_t>(((settings.input_pos >> 20) * 100) / limit_mib);
            if (percent != last_percent) {
                last_percent = percent;
                say("\xfe %d%%\r", percent);
                flush_stdout();
            }
        }
        io.input_file.seek(settings.input_pos);
        std::int32_t r = find_pattern(block, pattern, scan_block, 4);
        if (r < 0)
            continue;
        settings.input_pos = settings.input_pos + static_cast<std::uint32_t>(r) - scan_step;
        return settings.input_pos + room_after_find <= limit;
    }
}
