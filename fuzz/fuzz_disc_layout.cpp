// The layout reader on an info file (the first 2048 bytes), an entry file
// (the next 2048) and a filesystem listing made of the rest, 9 bytes a file:
// which Video CD name it has, its first sector and its sector count. The
// image's size is the first listing's four bytes. Every range of the layout
// it accepts must lie inside the image.
#include <array>
#include <cstdlib>
#include <cstring>

#include "vcd/disc_layout.h"

namespace {

constexpr std::array names = {"MPEGAV/AVSEQ01.DAT", "MPEGAV/AVSEQ02.DAT", "MPEG2/AVSEQ01.MPG", "SEGMENT/ITEM0001.DAT",
                              "SEGMENT/ITEM0002.MPG", "VCD/INFO.VCD", "EXT/PSD_X.VCD", "CDI/CDI_TEXT.FNT"};

std::uint32_t word(const std::uint8_t* p)
{
    std::uint32_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

bool inside(std::uint32_t first, std::uint32_t count, std::uint32_t total)
{
    return first <= total && count <= total - first;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    DiscLayout layout;
    std::size_t info = std::min<std::size_t>(size, 2048), entries = std::min<std::size_t>(size - info, 2048);
    layout.info_file.assign(data, data + info);
    layout.entries_file.assign(data + info, data + info + entries);
    const std::uint8_t* listing = data + info + entries;
    std::size_t left = size - info - entries;
    layout.image_sectors = left >= 4 ? word(listing) : 400000;
    for (std::size_t at = 4; at + 9 <= left; at += 9)
        layout.files.push_back({names[listing[at] % names.size()], word(listing + at + 1), 0, word(listing + at + 5),
                                false, false});
    if (!read_disc_layout(layout).empty())
        return 0;
    for (const SequenceItem& item : layout.sequences) {
        if (!inside(item.first_lsn, item.sectors, layout.image_sectors) || item.entries.empty())
            std::abort();
        for (std::uint16_t e : item.entries)
            if (e >= layout.entries.size() || layout.entries[e].lsn >= layout.image_sectors)
                std::abort();
    }
    for (const SegmentItem& item : layout.segments)
        if (!inside(item.first_lsn, item.sectors, layout.image_sectors))
            std::abort();
    return 0;
}
