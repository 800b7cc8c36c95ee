#include "engine/corrections.h"

#include <algorithm>
#include <cstddef>
#include <optional>

#include "engine/mode2.h"
#include "engine/scanner.h"
#include "run/run_state.h"

namespace {

// The initial sequence: four packs of padding, each holding a pack header
// (ISO/IEC 11172-1) at 176400 bytes per second, the first two with a system
// header, and two end codes. It takes the room of four 2324-byte blocks.
constexpr std::uint32_t mux_rate = 3528;  // units of 50 bytes/s

struct SequenceBuilder {
    std::array<std::uint8_t, initial_sequence_size> bytes{};
    std::size_t at = 0;

    constexpr void put(std::uint8_t b) { bytes[at++] = b; }
    constexpr void put(std::initializer_list<std::uint8_t> list)
    {
        for (std::uint8_t b : list)
            put(b);
    }
    constexpr void start_code(std::uint8_t id) { put({0x00, 0x00, 0x01, id}); }

    // SCR in three marker-separated pieces, then the mux rate between markers.
    constexpr void pack_header(std::uint32_t scr)
    {
        start_code(0xBA);
        put(static_cast<std::uint8_t>(0x21 | ((scr >> 29) & 0x0E)));
        std::uint32_t mid = (((scr >> 15) & 0x7FFF) << 1) | 1;
        put({static_cast<std::uint8_t>(mid >> 8), static_cast<std::uint8_t>(mid)});
        std::uint32_t low = ((scr & 0x7FFF) << 1) | 1;
        put({static_cast<std::uint8_t>(low >> 8), static_cast<std::uint8_t>(low)});
        std::uint32_t rate = 0x800001 | (mux_rate << 1);
        put({static_cast<std::uint8_t>(rate >> 16), static_cast<std::uint8_t>(rate >> 8),
             static_cast<std::uint8_t>(rate)});
    }

    // A system header naming one elementary stream with its buffer bound.
    constexpr void system_header(std::uint8_t audio_bound, std::uint8_t video_bound, std::uint8_t stream_id,
                                 std::uint8_t bound_scale, std::uint16_t size_bound)
    {
        start_code(0xBB);
        put({0x00, 0x09, 0x80, 0x1B, 0x91});  // header length 9, rate bound 3528
        put(static_cast<std::uint8_t>((audio_bound << 2) | 0x01));  // CSPS flag set
        put(static_cast<std::uint8_t>(0xE0 | video_bound));         // both lock flags, marker
        put(0xFF);                                                  // reserved byte
        put(stream_id);
        put(static_cast<std::uint8_t>(0xC0 | (bound_scale << 5) | (size_bound >> 8)));
        put(static_cast<std::uint8_t>(size_bound));
    }

    // A padding packet that runs to pack_end: stuffing bytes, the 0x0F that
    // says "no time stamps", then 0xFF padding.
    constexpr void padding_packet(std::size_t pack_end, int stuffing)
    {
        start_code(0xBE);
        std::size_t length = pack_end - (at + 2);
        put({static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)});
        for (int i = 0; i < stuffing; ++i)
            put(0xFF);
        put(0x0F);
        while (at < pack_end)
            put(0xFF);
    }
};

constexpr std::array<std::uint8_t, initial_sequence_size> build_initial_sequence()
{
    SequenceBuilder s;
    // SCR steps of 1200: one 2352-byte sector at 176400 bytes/s on the 90 kHz clock.
    s.pack_header(4);
    s.system_header(0, 1, 0xE0, 1, 46);  // video stream 0, 46 x 1024 bytes
    s.padding_packet(form2_data_size, 0);
    s.pack_header(1204);
    s.system_header(1, 0, 0xC0, 0, 32);  // audio stream 0, 32 x 128 bytes
    s.padding_packet(4628, 0);
    s.pack_header(2404);
    s.padding_packet(6948, 1);
    s.start_code(0xB9);
    s.pack_header(3604);
    s.padding_packet(9252, 1);
    s.start_code(0xB9);
    // The rest stays zero.
    return s.bytes;
}

// Whether a pack start code with a raw sector of room follows `from` before
// `limit`. Finds are kept: end codes are met in rising order, so one find
// answers for every end code before it.
struct PackAfter {
    BlockReader& in;
    std::optional<std::uint64_t> position;

    bool follows(std::uint64_t from, std::uint64_t limit)
    {
        if (position && *position >= from)
            return true;
        std::optional<std::uint64_t> at = find_from(in, settings.pack_start_code.data(), from, limit);
        if (!at || *at + raw_sector_size > limit)
            return false;
        position = at;
        return true;
    }
};

}  // namespace

const std::array<std::uint8_t, initial_sequence_size> initial_sequence = build_initial_sequence();

// A CD-i bumper is a short MPEG sequence closed by an end code; the copy
// starts right after the last such end code near the start of the input. A
// stream's own final end code has no pack after it and closes no bumper.
void prescan_bumper(BlockReader& in, std::uint64_t limit)
{
    std::uint64_t scan_end = std::min<std::uint64_t>({in.size(), bumper_scan_cap, limit});
    say("\r\xfe pre-scanning\r");
    flush_stdout();
    PackAfter pack_after{in, std::nullopt};
    std::optional<std::uint64_t> last_end;
    std::uint64_t from = settings.input_pos;
    while (std::optional<std::uint64_t> at = find_from(in, end_code, from, scan_end)) {
        if (*at + raw_sector_size > scan_end)
            break;
        from = *at + sizeof end_code;
        if (!pack_after.follows(from, limit))
            break;
        last_end = from;
    }
    if (last_end) {
        settings.input_pos = *last_end;
        ++settings.bumper_removed;
    }
}

void apply_initial_sequence(BlockWriter& out, Framing framing, const std::uint8_t* first_chunk)
{
    if (!settings.initial_sequence_applied) {
        // A stream that opens with a padded pack has 0xFF at 48 to 63.
        for (std::size_t i = 48; i < 64; ++i) {
            if (first_chunk[i] != 0xFF) {
                settings.initial_sequence_applied = 1;
                break;
            }
        }
    }
    if (!settings.initial_sequence_applied)
        return;
    if (framing == Framing::mode2_sectors) {
        // A .dat file holds whole sectors only: the sequence goes in as the
        // user data of four sectors.
        for (std::size_t i = 0; i < initial_sequence.size(); i += form2_data_size)
            write_mode2_sector(out, initial_sequence.data() + i);
    } else {
        out.write(initial_sequence);
    }
}
