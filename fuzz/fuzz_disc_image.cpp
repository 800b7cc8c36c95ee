// A disc image in memory read as a whole disc: the first byte picks how its
// sectors are stored (2352, 2336, 2448 or 2048 bytes; any other value lets
// the bytes show it, as for a bare image), the rest is the image file. Its
// filesystem and Video CD description are read, and every sector whose
// storage keeps something to check is checked.
#include <cstdio>
#include <cstdlib>
#include <span>

#include "image/bare_image.h"
#include "run/run_state.h"
#include "sector/sector_check.h"
#include "vcd/disc_filesystem.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (!std::getenv("MIVARO_FUZZ_SHOW_OUTPUT"))
        std::freopen("/dev/null", "w", stdout);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    std::span<const std::uint8_t> bytes(data + 1, size - 1);
    std::uint32_t sector_size = data[0] < std::size(sector_framings)
                                    ? sector_framings[data[0]].stored_size
                                    : bare_sector_size(bytes.first(std::min(bytes.size(), bare_probe_size)));
    DiscImage image;
    image.files.push_back({"image", bytes.size(), [bytes](std::uint8_t* dst, std::size_t n, std::uint64_t at) {
                               n = at < bytes.size() ? std::min<std::size_t>(n, bytes.size() - at) : 0;
                               std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), n, dst);
                               return n;
                           }});
    if (!add_image_run(image, 0, 0, 0, 0, sector_size))
        return 0;
    reset_run_state();
    try {
        read_disc_description(image, "image");
    } catch (const RunEnd&) {
    }
    const SectorFraming& framing = framing_of(image.runs[0]);
    if (framing.checkable) {
        SectorTally tally;
        check_stored_sectors(bytes, framing, 0, framing.raw_start == 0, 2, tally);
        if (tally.read != image.sectors)
            std::abort();
    }
    return 0;
}
