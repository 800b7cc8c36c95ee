#include "vcd/entry_time.h"

#include <algorithm>
#include <cstdio>

namespace {

std::uint64_t time_stamp(const std::uint8_t* b)
{
    return (std::uint64_t{b[0]} >> 1 & 7) << 30 | std::uint64_t{b[1]} << 22 | std::uint64_t{b[2]} >> 1 << 15 |
           std::uint64_t{b[3]} << 7 | b[4] >> 1;
}

// The PTS of the PES packet whose header starts at p[0] (after its length
// field) and has n bytes, in MPEG-1 or MPEG-2 syntax.
std::optional<std::uint64_t> pes_pts(const std::uint8_t* p, std::size_t n)
{
    if (n >= 8 && (p[0] & 0xc0) == 0x80) {
        if ((p[1] & 0x80) != 0 && p[2] >= 5)
            return time_stamp(p + 3);
        return std::nullopt;
    }
    std::size_t i = 0;
    while (i < n && p[i] == 0xff && i < 16)
        ++i;
    if (i + 2 <= n && (p[i] & 0xc0) == 0x40)
        i += 2;
    if (i + 5 <= n && ((p[i] & 0xf0) == 0x20 || (p[i] & 0xf0) == 0x30))
        return time_stamp(p + i);
    return std::nullopt;
}

}  // namespace

PackTimes pack_times(std::span<const std::uint8_t> b)
{
    PackTimes t;
    if (b.size() < 12 || b[0] != 0 || b[1] != 0 || b[2] != 1 || b[3] != 0xba)
        return t;
    std::size_t at = 12;
    if ((b[4] & 0xc0) == 0x40) {  // MPEG-2: 14 bytes and stuffing
        if (b.size() < 14)
            return t;
        at = 14 + (b[13] & 7u);
    }
    while (at + 6 <= b.size() && b[at] == 0 && b[at + 1] == 0 && b[at + 2] == 1) {
        std::uint8_t id = b[at + 3];
        std::size_t length = static_cast<std::size_t>(b[at + 4]) << 8 | b[at + 5];
        std::size_t body = at + 6;
        std::size_t n = std::min(length, b.size() - body);
        bool audio = id >= 0xc0 && id <= 0xdf;
        bool video = id >= 0xe0 && id <= 0xef;
        if (audio || video || id == 0xbd) {
            if (auto pts = pes_pts(b.data() + body, n)) {
                if (video && !t.first_video)
                    t.first_video = pts;
                t.lowest = std::min(t.lowest.value_or(*pts), *pts);
            }
        }
        at = body + length;
    }
    return t;
}

std::string entry_time_text(std::uint64_t entry_pts, std::uint64_t lowest_pts)
{
    std::uint64_t ticks = entry_pts > lowest_pts ? entry_pts - lowest_pts : 0;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%llu.%06llu", static_cast<unsigned long long>(ticks / 90000),
                  static_cast<unsigned long long>(ticks % 90000 * 1000000 / 90000));
    return buf;
}
