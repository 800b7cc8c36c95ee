// The times videocd.xml gives a sequence's entry points. vcdxbuild puts an
// entry on the picture whose time lies nearest the one written, a picture's
// time being its presentation time stamp less the lowest one of the whole
// sequence (any stream: the first audio frame is often earlier than the
// first picture). Writing exactly that time for the picture an entry
// sector starts brings the entry back to the same sector.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

// The presentation time stamps (90 kHz) of one MPEG pack, a Video CD's
// 2324-byte block (MPEG-1 or MPEG-2 pack headers): the first one of a video
// stream, and the lowest one of any stream. Empty when the block has none
// or is not a pack.
struct PackTimes {
    std::optional<std::uint64_t> first_video;
    std::optional<std::uint64_t> lowest;
};
PackTimes pack_times(std::span<const std::uint8_t> block);

// Seconds as vcdxbuild reads them: (entry_pts - lowest_pts) / 90000 with
// six decimals, "0.000000" when the entry lies before the lowest time.
// entry_pts is PackTimes::first_video of the block at the entry's sector;
// lowest_pts the least PackTimes::lowest over every block of the sequence.
std::string entry_time_text(std::uint64_t entry_pts, std::uint64_t lowest_pts);
