// The scanner and the copy engine on arbitrary input read from memory. The
// first byte chooses the shape of the copy; the rest is the input.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "engine/copy_engine.h"
#include "engine/scanner.h"
#include "state/run_state.h"

namespace {

// Sector, read and write sizes of raw2mpg, cif2mpg, mpg2mpg, dat2mpg, raw2dat
// and mpg2dat.
struct Shape {
    std::uint32_t sector, read, write;
    Framing framing;
    bool exact, keep_last;
};
constexpr Shape shapes[6] = {
    {2352, 2352, 2324, Framing::plain_bytes, false, false},  {2332, 2332, 2324, Framing::plain_bytes, false, false},
    {2324, 2324, 2324, Framing::plain_bytes, false, true},    {2352, 2352, 2324, Framing::plain_bytes, false, false},
    {2352, 30576, 30576, Framing::plain_bytes, true, false}, {2324, 2324, 2324, Framing::mode2_sectors, false, true},
};

// The scanner's search against the plain one.
void check_find_pattern(const std::uint8_t* text, std::size_t size)
{
    auto len = static_cast<std::int32_t>(std::min<std::size_t>(size, 5000));
    for (const std::uint8_t* pattern : {static_cast<const std::uint8_t*>(settings.pack_start_code.data()), end_code}) {
        const std::uint8_t* hit = std::search(text, text + len, pattern, pattern + 4);
        std::int32_t want = hit == text + len ? -1 : static_cast<std::int32_t>(hit - text);
        if (find_pattern(text, pattern, len, 4) != want)
            std::abort();
    }
}

}  // namespace

// Choice byte: modulo 6 the shape, then one bit each for -fix and -nobumper.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    check_find_pattern(data + 1, size - 1);
    reset_run_state();
    const Shape& s = shapes[data[0] % 6];
    io.sector_size = s.sector;
    io.read_chunk = s.read;
    io.write_chunk = s.write;
    io.framing = s.framing;
    io.exact_copy = s.exact;
    io.keep_last_block = s.keep_last;
    settings.fix_blocks = (data[0] / 6) & 1;
    settings.remove_bumper = (data[0] / 12) & 1;
    io.input_file.open_memory({data + 1, size - 1}, "in");
    std::freopen("/dev/null", "w", stdout);
    try {
        if (scan_for_pattern(settings.pack_start_code.data(), size - 1, true) && io.output_file.open("/dev/null"))
            copy_stream(size - 1);
    } catch (const RunEnd&) {
    }
    io.output_file.close_quietly();
    return 0;
}
