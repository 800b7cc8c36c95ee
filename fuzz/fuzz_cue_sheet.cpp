// Arbitrary sheet text through the CUE parser, then the entry ends against
// BINs of a size taken from the text's first bytes; the same text through
// the TOC parser, whose pieces must be usable as they are; and the same bytes
// as a Nero chunk list, whose tracks must lie in the data before it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "image/cue_sheet.h"
#include "image/nrg_image.h"
#include "image/toc_sheet.h"
#include "sector/framing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    TocSheet toc = parse_toc(text);
    if (toc.unsupported.empty())
        for (const TocPiece& piece : toc.pieces)
            if ((!piece.file.empty() && !framing_of(piece.sector_size)) || toc.tracks == 0 || piece.track == 0)
                std::abort();
    const std::uint64_t data_end = 1u << 30;
    for (const ImageRun& run : parse_nrg_chunks({data, size}, data_end).runs)
        if (run.offset + std::uint64_t{run.sectors} * run.sector_size > data_end || run.sectors == 0)
            std::abort();
    ParsedSheet sheet = parse_cue_sheet(text);
    if (!sheet.error.empty() || sheet.entries.size() < 2)
        return 0;
    std::vector<std::uint64_t> sizes(sheet.bins.size(), size > 4 ? data[0] * 65536u + data[1] * 256u : 0);
    set_entry_ends(sheet.entries, sizes, sheet.end_cut);
    return 0;
}
