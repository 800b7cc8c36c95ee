#include "mpeg/pack_times.h"

#include <algorithm>

std::optional<std::uint64_t> pack_clock(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 12 || bytes[0] != 0x00 || bytes[1] != 0x00 || bytes[2] != 0x01 || bytes[3] != 0xBA)
        return std::nullopt;
    const std::uint8_t* p = bytes.data() + 4;
    // MPEG-1 packs mark their 33-bit clock with 0010 in the first four bits;
    // MPEG-2 packs with 01 and add a 27 MHz extension, which counts below one
    // 90 kHz tick and is left out. Both keep the three top bits of the clock
    // in the first byte and marker bits between the 15-bit pieces after it.
    if ((p[0] & 0xF0) == 0x20)
        return (std::uint64_t{p[0] & 0x0Eu} << 29) | (std::uint64_t{p[1]} << 22) | (std::uint64_t{p[2] & 0xFEu} << 14) |
               (std::uint64_t{p[3]} << 7) | (std::uint64_t{p[4]} >> 1);
    if ((p[0] & 0xC0) == 0x40)
        return (std::uint64_t{p[0] & 0x38u} << 27) | (std::uint64_t{p[0] & 0x03u} << 28) |
               (std::uint64_t{p[1]} << 20) | (std::uint64_t{p[2] & 0xF8u} << 12) | (std::uint64_t{p[2] & 0x03u} << 13) |
               (std::uint64_t{p[3]} << 5) | (std::uint64_t{p[4]} >> 3);
    return std::nullopt;
}

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
                if (!t.first)
                    t.first = pts;
                if (video && !t.first_video)
                    t.first_video = pts;
                t.lowest = std::min(t.lowest.value_or(*pts), *pts);
            }
        }
        at = body + length;
    }
    return t;
}
