#include "vcd/playback.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <map>

// inf.h brings the definitions files_private.h leans on.
#include <libvcd/inf.h>
#include <libvcd/files_private.h>

#include "io/report.h"

namespace {

constexpr const char* bad_multiplier_text = "the offset multiplier is 0";
constexpr const char* past_end_text = "%s at byte %u points past the end of the playback control (%zu bytes)";
constexpr const char* no_list_text = "%s at byte %u leads to byte %u, where no list starts (type 0x%02x)";
constexpr const char* list_too_long_text = "the list at byte %u runs past the end of the playback control (%zu bytes)";


std::uint16_t be16(std::span<const std::uint8_t> b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]);
}

// Bytes a descriptor of this type at `at` spans, 0 for a type that is not a
// list; reads only the count byte, which the caller has checked lies inside.
std::size_t descriptor_size(std::span<const std::uint8_t> psd, std::size_t at)
{
    switch (psd[at]) {
    case PSD_TYPE_PLAY_LIST:
        return at + 1 < psd.size() ? PsdPlayListDescriptor_t_SIZEOF + 2u * psd[at + 1] : 2;
    case PSD_TYPE_SELECTION_LIST:
    case PSD_TYPE_EXT_SELECTION_LIST: {
        if (at + 2 >= psd.size())
            return 3;
        std::size_t nos = psd[at + 2];
        bool areas = psd[at] == PSD_TYPE_EXT_SELECTION_LIST || (psd[at + 1] & 1) != 0;
        return PsdSelectionListDescriptor_t_SIZEOF + 2 * nos +
               (areas ? PsdSelectionListDescriptorExtended_t_SIZEOF + struct_psd_area_t_SIZEOF * nos : 0);
    }
    case PSD_TYPE_END_LIST:
        return PsdEndListDescriptor_t_SIZEOF;
    default:
        return 0;
    }
}

SelectionArea area_at(std::span<const std::uint8_t> d, std::size_t at)
{
    return {d[at], d[at + 1], d[at + 2], d[at + 3]};
}

// A list's outgoing offsets, as raw 16-bit values, with the names the
// error texts give them.
struct RawLink {
    int* target;
    std::uint16_t value;
    const char* what;
};

struct Parser {
    std::span<const std::uint8_t> psd;
    unsigned multiplier;
    PlaybackControl control;
    std::map<std::uint32_t, std::size_t> at_offset;  // byte offset -> index in control.lists
    std::vector<std::vector<std::pair<RawLink, std::uint32_t>>> links;  // per list: link, where it lies
    std::deque<std::size_t> unresolved;
    std::string error;

    // Reads the list at `at`, already known to start with a list type and
    // to lie wholly inside.
    void read_list(std::uint32_t at, std::size_t size)
    {
        std::span<const std::uint8_t> d = psd.subspan(at, size);
        PlaybackList list;
        list.offset = at;
        std::vector<std::pair<RawLink, std::uint32_t>> raw;
        std::size_t index = control.lists.size();
        auto link = [&](std::size_t field, const char* what) {
            raw.push_back({{nullptr, be16(d, field), what}, at + static_cast<std::uint32_t>(field)});
        };
        switch (d[0]) {
        case PSD_TYPE_PLAY_LIST: {
            list.kind = ListKind::play;
            list.lid = be16(d, 2) & 0x7fff;
            list.rejected = (d[2] & 0x80) != 0;
            link(4, "the previous-list offset");
            link(6, "the next-list offset");
            link(8, "the return offset");
            list.play_time = be16(d, 10);
            list.wait_code = d[12];
            list.autowait_code = d[13];
            for (std::size_t i = 0; i < d[1]; ++i)
                list.items.push_back(be16(d, 14 + 2 * i));
            break;
        }
        case PSD_TYPE_SELECTION_LIST:
        case PSD_TYPE_EXT_SELECTION_LIST: {
            list.kind = ListKind::selection;
            list.bsn = d[3];
            list.lid = be16(d, 4) & 0x7fff;
            list.rejected = (d[4] & 0x80) != 0;
            link(6, "the previous-list offset");
            link(8, "the next-list offset");
            link(10, "the return offset");
            std::uint16_t def = be16(d, 12);
            if (def == PSD_OFS_MULTI_DEF)
                list.default_action = DefaultAction::multi;
            else if (def == PSD_OFS_MULTI_DEF_NO_NUM)
                list.default_action = DefaultAction::multi_no_numbers;
            else if (def != PSD_OFS_DISABLED) {
                list.default_action = DefaultAction::list;
                link(12, "the default offset");
            }
            link(14, "the timeout offset");
            list.timeout_code = d[16];
            list.loop = d[17];
            list.play_item = be16(d, 18);
            std::size_t nos = d[2];
            list.selections.assign(nos, no_list);
            for (std::size_t i = 0; i < nos; ++i)
                link(20 + 2 * i, "a selection offset");
            if (size > PsdSelectionListDescriptor_t_SIZEOF + 2 * nos) {
                std::size_t a = PsdSelectionListDescriptor_t_SIZEOF + 2 * nos;
                list.has_areas = true;
                list.prev_area = area_at(d, a);
                list.next_area = area_at(d, a + 4);
                list.return_area = area_at(d, a + 8);
                list.default_area = area_at(d, a + 12);
                for (std::size_t i = 0; i < nos; ++i)
                    list.selection_areas.push_back(area_at(d, a + 16 + 4 * i));
            }
            break;
        }
        default:
            list.kind = ListKind::end;
            list.next_volume = d[1];
            list.change_picture = be16(d, 2);
        }
        control.lists.push_back(std::move(list));
        links.push_back(std::move(raw));
        at_offset[at] = index;
        unresolved.push_back(index);
    }

    // Reads the list at byte `at` unless it was read already; `what` and
    // `from` name the offset that led there, for the error text.
    bool reach(std::uint32_t at, const char* what, std::uint32_t from)
    {
        if (at_offset.contains(at))
            return true;
        if (at >= psd.size()) {
            error = formatted(past_end_text, what, from, psd.size());
            return false;
        }
        std::size_t size = descriptor_size(psd, at);
        if (size == 0) {
            error = formatted(no_list_text, what, from, at, psd[at]);
            return false;
        }
        if (size > psd.size() - at) {
            error = formatted(list_too_long_text, at, psd.size());
            return false;
        }
        read_list(at, size);
        return true;
    }

    // Pointers into control.lists are taken only here, after every list has
    // been read, so that the vector no longer moves.
    void bind_links()
    {
        for (std::size_t i = 0; i < control.lists.size(); ++i) {
            PlaybackList& l = control.lists[i];
            std::vector<int*> fields;
            if (l.kind == ListKind::play)
                fields = {&l.prev, &l.next, &l.return_to};
            else if (l.kind == ListKind::selection) {
                fields = {&l.prev, &l.next, &l.return_to};
                if (l.default_action == DefaultAction::list)
                    fields.push_back(&l.default_list);
                fields.push_back(&l.timeout_list);
                for (int& s : l.selections)
                    fields.push_back(&s);
            }
            for (std::size_t k = 0; k < fields.size(); ++k)
                links[i][k].first.target = fields[k];
        }
    }
};

}  // namespace

PlaybackParse parse_playback_control(std::span<const std::uint8_t> psd,
                                     std::span<const std::uint8_t> lot, unsigned multiplier)
{
    Parser p{psd, multiplier, {}, {}, {}, {}, {}};
    PlaybackParse result;
    if (psd.empty())
        return result;
    if (multiplier == 0) {
        result.error = bad_multiplier_text;
        return result;
    }
    // List 1 starts the file, and the lists lie one after another from
    // there, each on a multiple of the multiplier; the walk stops at the
    // first byte that starts none.
    if (!p.reach(0, "the first list", 0)) {
        result.error = p.error;
        return result;
    }
    for (std::size_t at = 0; at < psd.size();) {
        std::size_t size = descriptor_size(psd, at);
        if (size == 0 || size > psd.size() - at)
            break;
        p.reach(static_cast<std::uint32_t>(at), "", 0);
        at += (size + multiplier - 1) / multiplier * multiplier;
    }
    // Lists reached only through the LOT or through another list's offsets.
    for (std::size_t i = 2; i + 1 < lot.size() && p.error.empty(); i += 2) {
        std::uint16_t ofs = be16(lot, i);
        if (ofs == PSD_OFS_DISABLED)
            continue;
        p.reach(ofs * multiplier, "the list offset table", static_cast<std::uint32_t>(i));
    }
    // Each list is read once, so this ends after at most one pass per list.
    while (p.error.empty() && !p.unresolved.empty()) {
        std::size_t i = p.unresolved.front();
        p.unresolved.pop_front();
        for (auto& [link, where] : p.links[i]) {
            if (link.value == PSD_OFS_DISABLED)
                continue;
            if (!p.reach(link.value * multiplier, link.what, where))
                break;
        }
    }
    if (!p.error.empty()) {
        result.error = p.error;
        return result;
    }
    p.bind_links();
    // Lists in file order: indexes change, so targets go through offsets.
    std::vector<std::size_t> order(p.control.lists.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return p.control.lists[a].offset < p.control.lists[b].offset;
    });
    std::vector<int> new_index(order.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        new_index[order[i]] = static_cast<int>(i);
    for (std::size_t i = 0; i < p.links.size(); ++i)
        for (auto& [link, where] : p.links[i])
            if (link.value != PSD_OFS_DISABLED && link.target != nullptr)
                *link.target = new_index[p.at_offset.at(link.value * multiplier)];
    for (std::size_t i : order)
        result.control.lists.push_back(std::move(p.control.lists[i]));
    // An end list holds no LID of its own; the LOT gives it one.
    for (std::size_t i = 2; i + 1 < lot.size(); i += 2) {
        std::uint16_t ofs = be16(lot, i);
        if (ofs == PSD_OFS_DISABLED)
            continue;
        PlaybackList& l = result.control.lists[new_index[p.at_offset.at(ofs * multiplier)]];
        if (l.kind == ListKind::end && l.lid == 0)
            l.lid = static_cast<std::uint16_t>(i / 2);
    }
    // An end list the LOT leaves out can be reached only from other lists.
    for (PlaybackList& l : result.control.lists)
        if (l.kind == ListKind::end && l.lid == 0)
            l.rejected = true;
    return result;
}

PlaybackParse read_playback_control(const DiscLayout& layout)
{
    if (!layout.psd_x.empty())
        return parse_playback_control(layout.psd_x, layout.lot_x, layout.offset_multiplier);
    return parse_playback_control(layout.psd, layout.lot, layout.offset_multiplier);
}

unsigned list_number(const PlaybackControl& control, std::size_t index)
{
    std::uint16_t lid = control.lists[index].lid;
    return lid != 0 ? lid : static_cast<unsigned>(index + 1);
}

int wait_seconds(std::uint8_t code)
{
    if (code == 255)
        return -1;
    return code <= 60 ? code : (code - 60) * 10 + 60;
}

int sequence_of_entry(const DiscLayout& layout, std::size_t entry)
{
    for (std::size_t s = 0; s < layout.sequences.size(); ++s)
        for (std::uint16_t e : layout.sequences[s].entries)
            if (e == entry)
                return static_cast<int>(s);
    return -1;
}

PlayItemRef resolve_play_item(const DiscLayout& layout, std::uint16_t number)
{
    PlayItemRef ref;
    if (number <= 1)
        return ref;
    ref.kind = PlayItemKind::invalid;
    if (number <= 99) {
        for (std::size_t s = 0; s < layout.sequences.size(); ++s)
            if (layout.sequences[s].track == number)
                ref = {PlayItemKind::sequence, static_cast<int>(s)};
    } else if (number <= 599) {
        std::size_t e = number - 100u;
        if (e < layout.entries.size() && sequence_of_entry(layout, e) >= 0)
            ref = {PlayItemKind::entry, static_cast<int>(e)};
    } else if (number >= 1000 && number <= 2979) {
        for (std::size_t s = 0; s < layout.segments.size(); ++s)
            if (layout.segments[s].number == number - 999u)
                ref = {PlayItemKind::segment, static_cast<int>(s)};
    }
    return ref;
}
