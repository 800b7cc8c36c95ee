// Arbitrary bytes through the descriptor parsers, the first byte choosing
// which: even a CloneCD sheet, odd an Alcohol descriptor (Nero chunk lists
// go through fuzz_cue_sheet with the other sheets).
// A layout they give must keep the rules of layout_rules.h, which the
// openers rely on to check it run by run.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "image/alcohol_descriptor.h"
#include "image/clonecd_sheet.h"
#include "layout_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    std::span<const std::uint8_t> rest(data + 1, size - 1);
    if (data[0] % 2 == 0) {
        if (!consistent_layout(parse_clonecd_sheet({reinterpret_cast<const char*>(rest.data()), rest.size()})))
            std::abort();
        return 0;
    }
    TrackLayout layout = parse_alcohol_descriptor(rest, "folder/disc.mds");
    if (!consistent_layout(layout) ||
        (layout.error.empty() && (layout.data_file.empty() || layout.data_file.find('/') != std::string::npos)))
        std::abort();
    return 0;
}
