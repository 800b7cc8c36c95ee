// Arbitrary bytes as a playback control: the first byte sets the offset
// multiplier, the next two how many of the rest form the list offset table,
// the rest the descriptor file. What reads, the report and videocd.xml are
// then made from, against a small layout with items of every kind.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>

#include "vcd/disc_description.h"
#include "vcd/playback.h"
#include "io/report.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    std::span<const std::uint8_t> bytes(data + 3, size - 3);
    std::size_t lot_size = std::min<std::size_t>(bytes.size(), data[1] << 8 | data[2]);
    PlaybackParse p = parse_playback_control(bytes.subspan(lot_size), bytes.first(lot_size), data[0] % 17);
    if (!p.error.empty())
        return 0;
    DiscLayout d;
    d.entries = {{2, 0}, {2, 100}};
    d.sequences = {{"avseq01.mpg", "", 2, 0, 200, {0, 1}}};
    d.segments = {{"item0001.mpg", "", 1, 500, 150, 0, 1, 0}};
    static bool quiet = std::freopen("/dev/null", "w", stdout) != nullptr;
    (void)quiet;
    print_playback_control(d, p.control);
    DiscTiming timing;
    timing.entry_ticks = {std::nullopt, 90000};
    disc_description_text(d, &p.control, timing);
    return 0;
}
