#include "image/nrg_image.h"

#include <cstring>

#include "io/report.h"
#include "io/text.h"

namespace {


// A track written track-at-once is followed on the disc by a two-second gap
// that the image does not hold.
constexpr std::uint32_t tao_gap_sectors = 150;
constexpr std::size_t max_tracks = 99;

std::uint64_t big_endian(const std::uint8_t* p, int bytes)
{
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value << 8 | p[i];
    return value;
}

// Nero's track modes: the sector size each is stored in, and what the
// track holds. A size of 0 marks a mode no image of a whole disc has.
struct NeroMode {
    std::uint32_t size;
    TrackMode mode;
};
NeroMode nero_mode(std::uint64_t mode)
{
    switch (mode) {
    case 0x00:  // Mode 1, user data alone
        return {2048, TrackMode::mode1};
    case 0x02:  // Mode 2 Form 1, user data alone
        return {2048, TrackMode::mode2};
    case 0x03:  // Mode 2, from the subheader on
        return {2336, TrackMode::mode2};
    case 0x05:
        return {2352, TrackMode::mode1};
    case 0x06:
        return {2352, TrackMode::mode2};
    case 0x07:
        return {2352, TrackMode::audio};
    case 0x0F:  // raw with 96 bytes of subchannel
        return {2448, TrackMode::mode1};
    case 0x10:
        return {2448, TrackMode::audio};
    case 0x11:
        return {2448, TrackMode::mode2};
    default:
        return {0, TrackMode::unknown};
    }
}

void add_track(TrackLayout& layout, std::uint64_t offset, std::uint32_t sectors, std::uint32_t size,
               std::uint64_t first_lsn, TrackMode mode)
{
    const auto lsn = static_cast<std::uint32_t>(first_lsn);
    layout.runs.push_back({lsn, sectors, offset, size});
    layout.tracks.push_back({static_cast<int>(layout.tracks.size() + 1), lsn, mode});
}

// ETNF (32-bit fields) and ETN2 (64-bit offsets and lengths): per track its
// offset, length in bytes, mode and first sector.
std::string read_tao(std::span<const std::uint8_t> data, bool wide, TrackLayout& layout)
{
    const std::size_t entry = wide ? 32 : 20;
    if (data.size() % entry != 0 || data.empty() || data.size() / entry > max_tracks)
        return "its track list has a size of " + std::to_string(data.size()) + " bytes";
    std::uint64_t next_lsn = 0;
    for (std::size_t at = 0; at < data.size(); at += entry) {
        const std::uint8_t* p = data.data() + at;
        int width = wide ? 8 : 4;
        std::uint64_t offset = big_endian(p, width), length = big_endian(p + width, width);
        NeroMode mode = nero_mode(big_endian(p + 2 * width, 4));
        std::uint32_t size = mode.size;
        if (size == 0)
            return "track " + std::to_string(layout.tracks.size() + 1) + " has a mode no Video CD has";
        if (length % size != 0 || length / size == 0 || length / size > 0xFFFFFFFFull - next_lsn)
            return "track " + std::to_string(layout.tracks.size() + 1) + " has a length of " + std::to_string(length) +
                   " bytes";
        add_track(layout, offset, static_cast<std::uint32_t>(length / size), size, next_lsn, mode.mode);
        next_lsn += layout.runs.back().sectors + std::uint64_t{tao_gap_sectors};
    }
    return {};
}

// DAOI (32-bit offsets) and DAOX (64-bit): after a 22-byte head, per track
// its ISRC, sector size, mode, and the offsets of index 0, index 1 and its
// end. The tracks follow each other on the disc from index 1 of the first.
std::string read_dao(std::span<const std::uint8_t> data, bool wide, TrackLayout& layout)
{
    constexpr std::size_t head = 22;
    const std::size_t entry = wide ? 42 : 30;
    if (data.size() < head || (data.size() - head) % entry != 0 || data.size() == head ||
        (data.size() - head) / entry > max_tracks)
        return "its disc-at-once list has a size of " + std::to_string(data.size()) + " bytes";
    std::uint64_t next_lsn = 0;
    for (std::size_t at = head; at < data.size(); at += entry) {
        const std::uint8_t* p = data.data() + at + 12;  // past the ISRC
        int width = wide ? 8 : 4;
        NeroMode mode = nero_mode(big_endian(p + 2, 2) >> 8);
        std::uint32_t size = mode.size;
        std::uint64_t index0 = big_endian(p + 6, width), index1 = big_endian(p + 6 + width, width),
                      end = big_endian(p + 6 + 2 * width, width);
        std::string number = std::to_string(layout.tracks.size() + 1);
        if (size == 0 || big_endian(p, 2) != size)
            return "track " + number + " has a mode or sector size no Video CD has";
        std::uint64_t from = layout.tracks.empty() ? index1 : index0;
        if (index0 > index1 || index1 > end || (end - from) % size != 0 || (end - from) / size == 0 ||
            (end - from) / size > 0xFFFFFFFFull - next_lsn)
            return "track " + number + " has index offsets that do not fit together";
        add_track(layout, from, static_cast<std::uint32_t>((end - from) / size), size, next_lsn, mode.mode);
        next_lsn += layout.runs.back().sectors;
    }
    return {};
}

}  // namespace

std::uint64_t nrg_chunk_offset(std::span<const std::uint8_t> tail, std::uint64_t image_size, std::string& error)
{
    std::uint64_t offset = 0;
    if (tail.size() >= 12 && std::memcmp(tail.data() + tail.size() - 12, "NER5", 4) == 0)
        offset = big_endian(tail.data() + tail.size() - 8, 8);
    else if (tail.size() >= 8 && std::memcmp(tail.data() + tail.size() - 8, "NERO", 4) == 0)
        offset = big_endian(tail.data() + tail.size() - 4, 4);
    else
        error = "it ends in no Nero footer";
    if (error.empty() && offset + tail.size() > image_size)
        error = "its chunk list lies past its end";
    return offset;
}

TrackLayout parse_nrg_chunks(std::span<const std::uint8_t> chunks, std::uint64_t chunk_offset)
{
    TrackLayout layout;
    std::string error;
    for (std::size_t at = 0; at + 8 <= chunks.size() && error.empty();) {
        const std::uint8_t* p = chunks.data() + at;
        std::uint64_t size = big_endian(p + 4, 4);
        if (std::memcmp(p, "END!", 4) == 0)
            break;
        if (size > chunks.size() - at - 8) {
            error = "a chunk at byte " + std::to_string(chunk_offset + at) + " runs past the end";
            break;
        }
        std::span<const std::uint8_t> data = chunks.subspan(at + 8, static_cast<std::size_t>(size));
        bool wide = std::memcmp(p, "ETN2", 4) == 0 || std::memcmp(p, "DAOX", 4) == 0;
        if (!layout.tracks.empty() &&
            (std::memcmp(p, "ETNF", 4) == 0 || std::memcmp(p, "ETN2", 4) == 0 || std::memcmp(p, "DAOI", 4) == 0 ||
             std::memcmp(p, "DAOX", 4) == 0))
            error = "it holds more than one session";
        else if (std::memcmp(p, "ETNF", 4) == 0 || std::memcmp(p, "ETN2", 4) == 0)
            error = read_tao(data, wide, layout);
        else if (std::memcmp(p, "DAOI", 4) == 0 || std::memcmp(p, "DAOX", 4) == 0)
            error = read_dao(data, wide, layout);
        at += 8 + static_cast<std::size_t>(size);
    }
    if (error.empty() && layout.tracks.empty())
        error = "it lists no track";
    for (const ImageRun& run : layout.runs)
        if (error.empty() &&
            (run.offset > chunk_offset || std::uint64_t{run.sectors} * run.sector_size > chunk_offset - run.offset))
            error = "a track lies outside the image's data";
    if (!error.empty()) {
        layout.runs.clear();
        layout.tracks.clear();
        layout.error = error;
    }
    return layout;
}

bool has_nrg_footer(std::span<const std::uint8_t> tail)
{
    std::string error;
    nrg_chunk_offset(tail, ~std::uint64_t{0} >> 1, error);
    return error.empty();
}

// A Nero image says in its own chunk list where each track lies in it;
// the sectors are then runs of the file like a BIN's.
DiscImage open_nrg_image(const std::string& name)
{
    constexpr std::uint64_t max_chunk_list = 1u << 20;
    DiscImage image = image_of_file(name);
    const std::uint64_t size = image.files[0].size;
    BlockReader reader(max_chunk_list);
    if (!reader.open(name)) {
        say_unopenable(name);
        end_run(1);
    }
    std::size_t tail = static_cast<std::size_t>(std::min<std::uint64_t>(size, 12));
    std::span<const std::uint8_t> footer(reader.need(size - tail, tail), tail);
    std::string error;
    std::uint64_t offset = nrg_chunk_offset(footer, size, error);
    if (error.empty() && size - offset > max_chunk_list)
        error = "its chunk list is over 1 MiB long";
    if (error.empty()) {
        std::size_t length = static_cast<std::size_t>(size - offset);
        error = image_of_layout(image, parse_nrg_chunks({reader.need(offset, length), length}, offset));
    }
    if (!error.empty())
        refuse_image(name, nrg_format, error);
    return image;
}

namespace {

bool claims_nrg(const ImageProbe& p)
{
    return has_nrg_footer(p.tail) || ends_folded(p.name, ".nrg");
}

}  // namespace

const ImageFormat nrg_format{"a Nero image", ImageKind::described, claims_nrg, open_nrg_image};
