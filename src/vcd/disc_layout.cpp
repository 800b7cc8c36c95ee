// The info and entry files of a Video CD or SVCD, read with libvcdinfo's
// record types into the disc layout, and every range they give checked
// against the image before anything is read from it.
#include "vcd/disc_layout.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

// files_private.h uses iso9660.h's array size macro without including it.
#include <cdio/iso9660.h>
#include <libvcd/files_private.h>
#include <libvcd/inf.h>

#include "io/report.h"
#include "sector/msf.h"

namespace {

// A segment play item area is cut into segments of 150 sectors (two seconds
// at the single-speed rate); an item spans one segment and its continuations.
constexpr std::uint32_t segment_sectors = 150;
constexpr auto lead_in = static_cast<std::int32_t>(lead_in_sectors);

std::string upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string trimmed(const char* text, std::size_t size)
{
    std::string out(text, strnlen(text, size));
    while (!out.empty() && (out.back() == ' ' || out.back() == '\0'))
        out.pop_back();
    return out;
}

std::string numbered(const char* stem, unsigned number, int digits, const char* extension)
{
    return formatted("%s%0*u%s", stem, digits, number, extension);
}

// The file of that path (any letter case), or nullptr.
const DiscFile* file_named(const DiscLayout& layout, const std::string& path)
{
    std::string wanted = upper(path);
    for (const DiscFile& file : layout.files)
        if (!file.directory && upper(file.path) == wanted)
            return &file;
    return nullptr;
}

bool inside(const DiscLayout& layout, std::uint32_t first, std::uint32_t count)
{
    return first <= layout.image_sectors && count <= layout.image_sectors - first;
}

// The one-byte bit fields of the info file are read as bytes: the order of
// their fields in libvcdinfo's records hangs on a macro of the library's own
// build, which its installed headers do not define.
template <typename Field>
std::uint8_t byte_of(const Field& field)
{
    static_assert(sizeof(Field) == 1);
    return *reinterpret_cast<const std::uint8_t*>(&field);
}

// The 2048-byte record a libvcdinfo accessor expects, from a file that may be
// shorter than one sector.
struct Record {
    alignas(8) std::array<std::uint8_t, ISO_BLOCKSIZE> bytes{};
    explicit Record(const std::vector<std::uint8_t>& file)
    {
        std::memcpy(bytes.data(), file.data(), std::min<std::size_t>(file.size(), bytes.size()));
    }
};

std::string read_info(DiscLayout& layout, const InfoVcd_t& info)
{
    std::string id = trimmed(info.ID, sizeof info.ID);
    if (std::memcmp(info.ID, INFO_ID_VCD, 8) == 0)
        layout.kind = info.version == INFO_VERSION_VCD2 ? DiscKind::vcd20
                      : info.sys_prof_tag == INFO_SPTAG_VCD11 ? DiscKind::vcd11
                                                              : DiscKind::vcd10;
    else if (std::memcmp(info.ID, INFO_ID_SVCD, 8) == 0)
        layout.kind = DiscKind::svcd;
    else if (std::memcmp(info.ID, INFO_ID_HQVCD, 8) == 0)
        layout.kind = DiscKind::hqvcd;
    else
        return "the info file's signature \"" + id + "\" is not one of a Video CD or SVCD.";
    layout.album_id = trimmed(info.album_desc, sizeof info.album_desc);
    layout.volume_count = vcdinf_get_volume_count(&info);
    layout.volume_number = vcdinf_get_volume_num(&info);
    std::uint8_t flags = byte_of(info.flags);
    layout.restriction = (flags >> 1) & 3u;
    layout.use_lid2 = flags & 0x20;
    layout.use_track3 = flags & 0x40;
    layout.pbc_x = flags & 0x80;
    layout.offset_multiplier = info.offset_mult;
    layout.lot_entries = vcdinf_get_num_LIDs(&info);
    return {};
}

std::string read_segments(DiscLayout& layout, const InfoVcd_t& info)
{
    unsigned count = vcdinf_get_num_segments(&info);
    if (count == 0)
        return {};
    if (count > MAX_SEGMENTS)
        return "the info file lists " + std::to_string(count) + " segments; a disc holds at most 1980.";
    const std::uint8_t* msf = reinterpret_cast<const std::uint8_t*>(&info.first_seg_addr);
    if (!is_bcd(msf[0]) || !is_bcd(msf[1]) || !is_bcd(msf[2]))
        return "the info file's segment area address is not a disc time.";
    std::int32_t first = static_cast<std::int32_t>((from_bcd(msf[0]) * 60 + from_bcd(msf[1])) * 75 + from_bcd(msf[2])) -
                         lead_in;
    if (first < 0 || !inside(layout, static_cast<std::uint32_t>(first), count * segment_sectors))
        return "the info file's " + std::to_string(count) + " segments lie outside the image.";
    for (unsigned s = 0; s < count; ++s) {
        std::uint8_t contents = byte_of(info.spi_contents[s]);
        std::uint32_t lsn = static_cast<std::uint32_t>(first) + s * segment_sectors;
        if ((contents & 0x20) && !layout.segments.empty()) {
            layout.segments.back().sectors += segment_sectors;
            continue;
        }
        SegmentItem item;
        item.number = static_cast<std::uint16_t>(s + 1);
        item.name = numbered("item", s + 1, 4, ".mpg");
        item.first_lsn = lsn;
        item.sectors = segment_sectors;
        item.audio_type = contents & 3u;
        item.video_type = (contents >> 2) & 7u;
        item.ogt = contents >> 6;
        for (const char* folder_extension : {"SEGMENT/ITEM%04u.DAT", "SEGMENT/ITEM%04u.MPG"}) {
            if (const DiscFile* file = file_named(layout, formatted(folder_extension, s + 1)))
                item.disc_path = file->path;
        }
        layout.segments.push_back(item);
    }
    return {};
}

std::string read_entries(DiscLayout& layout)
{
    if (layout.entries_file.size() < 12)
        return "the entry file is too short.";
    Record record(layout.entries_file);
    const auto& entries = *reinterpret_cast<const EntriesVcd_t*>(record.bytes.data());
    if (std::memcmp(entries.ID, ENTRIES_ID_VCD, 8) != 0 && std::memcmp(entries.ID, ENTRIES_ID_VCD3, 8) != 0)
        return "the entry file's signature is not one of a Video CD or SVCD.";
    unsigned count = vcdinf_get_num_entries(&entries);
    if (count == 0 || count > MAX_ENTRIES)
        return "the entry file lists " + std::to_string(count) + " entries; a disc holds 1 to 500.";
    for (unsigned n = 0; n < count; ++n) {
        const auto& raw = entries.entry[n];
        const std::uint8_t* msf = reinterpret_cast<const std::uint8_t*>(&raw.msf);
        if (!is_bcd(raw.n) || !is_bcd(msf[0]) || !is_bcd(msf[1]) || !is_bcd(msf[2]))
            return "entry " + std::to_string(n + 1) + " of the entry file is not a track and disc time.";
        unsigned track = from_bcd(raw.n);
        std::int32_t lsn = static_cast<std::int32_t>(vcdinf_get_entry_lba(&entries, n)) - lead_in;
        if (track < 2 || lsn < 0 || static_cast<std::uint32_t>(lsn) >= layout.image_sectors)
            return "entry " + std::to_string(n + 1) + " of the entry file lies outside the image.";
        if (!layout.entries.empty() && (track < layout.entries.back().track ||
                                        static_cast<std::uint32_t>(lsn) < layout.entries.back().lsn))
            return "the entries of the entry file are out of disc order.";
        layout.entries.push_back({static_cast<std::uint8_t>(track), static_cast<std::uint32_t>(lsn)});
    }
    return {};
}

// One sequence per track that has entries, in track order; its sectors are
// those of its file, or up to the next track's first entry where the
// filesystem names no file.
std::string read_sequences(DiscLayout& layout)
{
    for (std::size_t e = 0; e < layout.entries.size(); ++e) {
        const DiscEntry& entry = layout.entries[e];
        if (layout.sequences.empty() || layout.sequences.back().track != entry.track) {
            SequenceItem item;
            item.track = entry.track;
            unsigned number = static_cast<unsigned>(layout.sequences.size()) + 1;
            item.name = numbered("avseq", number, 2, ".mpg");
            item.first_lsn = entry.lsn;
            for (const char* pattern : {"MPEGAV/AVSEQ%02u.DAT", "MPEG2/AVSEQ%02u.MPG", "MPEGAV/AVSEQ%02u.MPG"}) {
                std::array<char, 32> path{};
                std::snprintf(path.data(), path.size(), pattern, number);
                if (const DiscFile* file = file_named(layout, path.data())) {
                    item.disc_path = file->path;
                    item.first_lsn = file->lsn;
                    item.sectors = file->sectors;
                }
            }
            layout.sequences.push_back(item);
        }
        layout.sequences.back().entries.push_back(static_cast<std::uint16_t>(e));
    }
    for (std::size_t s = 0; s < layout.sequences.size(); ++s) {
        SequenceItem& item = layout.sequences[s];
        if (item.disc_path.empty()) {
            std::uint32_t end = s + 1 < layout.sequences.size()
                                    ? layout.entries[layout.sequences[s + 1].entries.front()].lsn
                                    : layout.image_sectors;
            item.sectors = end - item.first_lsn;
        }
        if (!inside(layout, item.first_lsn, item.sectors))
            return item.disc_path + " (" + item.name + ") lies outside the image.";
    }
    return {};
}

}  // namespace

const char* disc_kind_name(DiscKind kind)
{
    switch (kind) {
    case DiscKind::vcd10:
        return "VCD 1.0";
    case DiscKind::vcd11:
        return "VCD 1.1";
    case DiscKind::vcd20:
        return "VCD 2.0";
    case DiscKind::svcd:
        return "SVCD";
    case DiscKind::hqvcd:
        return "HQVCD";
    }
    return "VCD";
}

namespace {

std::string check_files(const DiscLayout& layout)
{
    for (const DiscFile& file : layout.files)
        if (!inside(layout, file.lsn, file.sectors))
            return file.path + " lies outside the image.";
    return {};
}

}  // namespace

std::string read_disc_layout(DiscLayout& layout)
{
    if (layout.info_file.size() < 8)
        return "the info file is too short.";
    Record record(layout.info_file);
    const auto& info = *reinterpret_cast<const InfoVcd_t*>(record.bytes.data());
    if (std::string error = check_files(layout); !error.empty())
        return error;
    if (std::string error = read_info(layout, info); !error.empty())
        return error;
    if (std::string error = read_segments(layout, info); !error.empty())
        return error;
    if (std::string error = read_entries(layout); !error.empty())
        return error;
    return read_sequences(layout);
}
