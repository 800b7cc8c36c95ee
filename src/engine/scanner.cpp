#include "engine/scanner.h"

#include "state/run_state.h"

namespace {

// Consecutive blocks overlap by 5 bytes so that a 4-byte code cut by one
// block's end lies whole in the next.
constexpr std::uint32_t scan_block = 5000;
constexpr std::uint32_t scan_step = 4995;
// A find is only useful with one whole raw sector behind it.
constexpr std::uint32_t room_after_find = 2352;

bool window_matches(const std::uint8_t* text, const std::uint8_t* pattern, std::int32_t window_end,
                    std::int32_t pattern_len)
{
    const std::uint8_t* start = text + (window_end - pattern_len + 1);
    for (std::int32_t i = pattern_len - 1; i >= 0; --i)
        if (start[i] != pattern[i])
            return false;
    return true;
}

}  // namespace

std::int32_t find_pattern(const std::uint8_t* text, const std::uint8_t* pattern, std::int32_t text_len,
                          std::int32_t pattern_len)
{
    std::int32_t window_end = pattern_len - 1;
    while (window_end <= text_len - 1) {
        std::int32_t matched = 0;
        for (std::int32_t j = pattern_len - 1; j >= 0; --j) {
            if (pattern[j] == text[window_end - (pattern_len - 1 - j)]) {
                ++matched;
                if (window_matches(text, pattern, window_end, pattern_len))
                    return window_end - pattern_len + 1;
                continue;
            }
            // Skip by where the byte under the pattern's last position occurs
            // further left in the pattern: no occurrence is stepped over.
            std::uint8_t under_last = text[window_end];
            std::int32_t k = j - 1;
            while (k >= 0 && pattern[k] != under_last)
                --k;
            if (k >= 0)
                window_end += (pattern_len - 1 - k) - matched;
            else
                window_end += pattern_len - matched;
            if (window_end >= text_len)
                return -1;
            if (window_matches(text, pattern, window_end, pattern_len))
                return window_end - pattern_len + 1;
            break;
        }
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
        io.input_file.read_exact(sector_buffer.data(), scan_block);
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
        std::int32_t r = find_pattern(sector_buffer.data(), pattern, scan_block, 4);
        if (r < 0)
            continue;
        settings.input_pos = settings.input_pos + static_cast<std::uint32_t>(r) - scan_step;
        return settings.input_pos + room_after_find <= limit;
    }
}
