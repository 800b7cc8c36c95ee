// The clocks of one MPEG pack: the system clock reference of its header and
// the presentation time stamps of its packets, MPEG-1 or MPEG-2 syntax. A
// Video CD sector's 2324 bytes hold one pack.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

// The clock in 90 kHz ticks of a pack header at the start of bytes, or
// nothing when they do not start with one.
std::optional<std::uint64_t> pack_clock(std::span<const std::uint8_t> bytes);

// Presentation time stamps (90 kHz) of one pack's packets: the first one of
// any stream, the first of a video stream, and the lowest. Each is empty
// when the pack has none or the bytes are not a pack.
struct PackTimes {
    std::optional<std::uint64_t> first;
    std::optional<std::uint64_t> first_video;
    std::optional<std::uint64_t> lowest;
};
PackTimes pack_times(std::span<const std::uint8_t> block);
