// Arbitrary sheet text through the parser, then the entry ends against BINs
// of a size taken from the text's first bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cue/cue_sheet.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ParsedSheet sheet = parse_cue_sheet(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!sheet.error.empty() || sheet.entries.size() < 2)
        return 0;
    std::vector<std::uint64_t> sizes(sheet.bins.size(), size > 4 ? data[0] * 65536u + data[1] * 256u : 0);
    set_entry_ends(sheet.entries, sizes, sheet.end_cut);
    return 0;
}
