#include "vcd/disc_description.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "io/report.h"
#include "vcd/entry_time.h"

namespace {


constexpr const char* xml_head =
    "<?xml version=\"1.0\"?>\n"
    "<!DOCTYPE videocd PUBLIC \"-//GNU//DTD VideoCD//EN\" \"http://www.gnu.org/software/vcdimager/videocd.dtd\">\n";
constexpr const char* xml_namespace = "http://www.gnu.org/software/vcdimager/1.0/";

// Folders vcdxbuild makes itself from the items and the playback control.
constexpr const char* own_folders[] = {"VCD", "SVCD", "MPEGAV", "MPEG2", "SEGMENT", "EXT", "CDI"};

std::string lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool is_own(const std::string& path)
{
    std::string top = path.substr(0, path.find('/'));
    for (const char* f : own_folders)
        if (lower(top) == lower(f))
            return true;
    return false;
}

// Text for an element or an attribute value. Bytes from the disc are taken
// as Latin-1; control characters, which XML cannot hold, become '?'.
std::string xml_text(const std::string& s)
{
    std::string out;
    for (unsigned char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default:
            if (c < 0x20 || (c >= 0x7f && c < 0xa0))
                out += '?';
            else if (c >= 0xa0) {
                out += static_cast<char>(0xc0 | c >> 6);
                out += static_cast<char>(0x80 | (c & 0x3f));
            } else
                out += static_cast<char>(c);
        }
    }
    return out;
}

struct Xml {
    std::string text;
    int depth = 0;
    void line(const std::string& s) { text += std::string(2 * depth, ' ') + s + "\n"; }
    void element(const char* name, const std::string& value)
    {
        if (value.empty())
            line(formatted("<%s/>", name));
        else
            line(formatted("<%s>", name) + xml_text(value) + formatted("</%s>", name));
    }
    void open(const std::string& s) { line(s); ++depth; }
    void close(const char* name) { --depth; line(formatted("</%s>", name)); }
};

const char* class_name(DiscKind kind)
{
    switch (kind) {
    case DiscKind::svcd: return "svcd";
    case DiscKind::hqvcd: return "hqvcd";
    default: return "vcd";
    }
}

const char* class_version(DiscKind kind)
{
    switch (kind) {
    case DiscKind::vcd10: return "1.0";
    case DiscKind::vcd11: return "1.1";
    case DiscKind::vcd20: return "2.0";
    default: return "1.0";
    }
}

void option(Xml& x, const char* name, const std::string& value)
{
    x.line(formatted("<option name=\"%s\" value=\"%s\"/>", name, value.c_str()));
}

void write_options(Xml& x, const DiscLayout& layout, const DiscTiming& timing)
{
    if (layout.kind == DiscKind::svcd) {
        // An SVCD in the layout of VCD 3.0: MPEGAV/ rather than MPEG2/,
        // "ENTRYSVD" heading the entries file, the later TRACKS.SVD.
        for (const DiscFile& f : layout.files)
            if (f.directory && lower(f.path) == "mpegav")
                option(x, "svcd vcd30 mpegav", "true");
        if (layout.entries_file.size() >= 8 && std::equal(layout.entries_file.begin(), layout.entries_file.begin() + 8,
                                                          std::string_view("ENTRYSVD").begin()))
            option(x, "svcd vcd30 entrysvd", "true");
        if (timing.tracks_v30)
            option(x, "svcd vcd30 tracksvd", "true");
    }
    if (timing.relaxed_aps)
        option(x, "relaxed aps", "true");
    if (timing.scan_offsets_updated)
        option(x, "update scan offsets", "true");
    for (const LayoutOption& o : timing.layout_options)
        option(x, o.name, std::to_string(o.sectors));
}

void auto_pauses(Xml& x, const std::vector<std::vector<std::uint64_t>>& pauses, std::size_t item)
{
    if (item < pauses.size())
        for (std::uint64_t ticks : pauses[item])
            x.element("auto-pause", entry_time_text(ticks, 0));
}

void write_filesystem(Xml& x, const DiscLayout& layout, const std::vector<ExtraFile>& extra)
{
    std::set<std::string> folders;  // every folder that leads to an extra file, or is one
    for (const DiscFile& f : layout.files)
        if (f.directory && !is_own(f.path))
            folders.insert(f.path);
    for (const ExtraFile& e : extra) {
        const std::string& p = layout.files[e.file].path;
        for (std::size_t at = p.find('/'); at != std::string::npos; at = p.find('/', at + 1))
            folders.insert(p.substr(0, at));
    }
    if (extra.empty() && folders.empty())
        return;
    auto parent = [](const std::string& p) { return p.substr(0, p.rfind('/') == std::string::npos ? 0 : p.rfind('/')); };
    auto leaf = [](const std::string& p) { return p.substr(p.rfind('/') == std::string::npos ? 0 : p.rfind('/') + 1); };
    auto emit = [&](auto& self, const std::string& here) -> void {
        for (const std::string& f : folders)
            if (parent(f) == here && f != here) {
                x.open("<folder>");
                x.element("name", leaf(f));
                self(self, f);
                x.close("folder");
            }
        for (const ExtraFile& e : extra) {
            const DiscFile& f = layout.files[e.file];
            if (parent(f.path) != here)
                continue;
            x.open(formatted("<file src=\"%s\" format=\"%s\">", xml_text(e.src).c_str(), f.form2 ? "mixed" : "form1"));
            x.element("name", leaf(f.path));
            x.close("file");
        }
    };
    x.open("<filesystem>");
    emit(emit, "");
    x.close("filesystem");
}

std::string segment_id(std::size_t i) { return formatted("segment-%04zu", i + 1); }
std::string sequence_id(std::size_t i) { return formatted("sequence-%02zu", i + 1); }
std::string entry_id(std::size_t i) { return formatted("entry-%03zu", i + 1); }

std::string list_id(const PlaybackControl& c, int index)
{
    std::size_t i = static_cast<std::size_t>(index);
    switch (c.lists[i].kind) {
    case ListKind::selection: return formatted("selection-%02zu", i + 1);
    case ListKind::play: return formatted("playlist-%02zu", i + 1);
    default: return formatted("endlist-%02zu", i + 1);
    }
}

// The id a play item number refers to, empty for nothing or no such item.
std::string item_id(const DiscLayout& layout, std::uint16_t number)
{
    PlayItemRef ref = resolve_play_item(layout, number);
    std::size_t i = static_cast<std::size_t>(ref.index);
    switch (ref.kind) {
    case PlayItemKind::sequence: return sequence_id(i);
    case PlayItemKind::segment: return segment_id(i);
    case PlayItemKind::entry: return entry_id(i);
    default: return "";
    }
}

std::string area_attributes(const SelectionArea& a)
{
    return formatted(" x1=\"%u\" y1=\"%u\" x2=\"%u\" y2=\"%u\"", a.x1, a.y1, a.x2, a.y2);
}

void link(Xml& x, const PlaybackControl& c, const char* name, int target, const PlaybackList& l,
          const SelectionArea* area)
{
    if (target == no_list)
        return;
    x.line(formatted("<%s ref=\"", name) + list_id(c, target) + "\"" +
           (l.has_areas && area ? area_attributes(*area) : "") + "/>");
}

void play_item(Xml& x, const DiscLayout& layout, std::uint16_t number)
{
    std::string id = item_id(layout, number);
    if (!id.empty())
        x.line("<play-item ref=\"" + id + "\"/>");
}

void write_pbc(Xml& x, const DiscLayout& layout, const PlaybackControl& c)
{
    x.open("<pbc>");
    for (std::size_t i = 0; i < c.lists.size(); ++i) {
        const PlaybackList& l = c.lists[i];
        std::string id = list_id(c, static_cast<int>(i));
        std::string rejected = l.rejected ? " rejected=\"true\"" : "";
        if (l.kind == ListKind::selection) {
            x.open("<selection id=\"" + id + "\"" + rejected + ">");
            x.element("bsn", std::to_string(l.bsn));
            link(x, c, "prev", l.prev, l, &l.prev_area);
            link(x, c, "next", l.next, l, &l.next_area);
            link(x, c, "return", l.return_to, l, &l.return_area);
            if (l.default_action == DefaultAction::multi)
                x.line("<multi-default/>");
            else if (l.default_action == DefaultAction::multi_no_numbers)
                x.line("<multi-default numeric=\"disabled\"/>");
            else
                link(x, c, "default", l.default_list, l, &l.default_area);
            link(x, c, "timeout", l.timeout_list, l, nullptr);
            x.element("wait", std::to_string(wait_seconds(l.timeout_code)));
            x.line(formatted("<loop jump-timing=\"%s\">%u</loop>", l.loop & 0x80 ? "delayed" : "immediate",
                          l.loop & 0x7fu));
            play_item(x, layout, l.play_item);
            for (std::size_t k = 0; k < l.selections.size(); ++k) {
                if (l.selections[k] == no_list)
                    x.line("<select/>");
                else
                    link(x, c, "select", l.selections[k], l,
                         k < l.selection_areas.size() ? &l.selection_areas[k] : nullptr);
            }
            x.close("selection");
        } else if (l.kind == ListKind::play) {
            x.open("<playlist id=\"" + id + "\"" + rejected + ">");
            link(x, c, "prev", l.prev, l, nullptr);
            link(x, c, "next", l.next, l, nullptr);
            link(x, c, "return", l.return_to, l, nullptr);
            // In 1/15 s; vcdxbuild rounds the seconds times 15.
            if (l.play_time != 0)
                x.element("playtime", formatted("%.6f", l.play_time / 15.0));
            x.element("wait", std::to_string(wait_seconds(l.wait_code)));
            x.element("autowait", std::to_string(wait_seconds(l.autowait_code)));
            for (std::uint16_t n : l.items)
                play_item(x, layout, n);
            x.close("playlist");
        } else {
            std::string body;
            if (l.next_volume == 0 && item_id(layout, l.change_picture).empty()) {
                x.line("<endlist id=\"" + id + "\"" + rejected + "/>");
                continue;
            }
            x.open("<endlist id=\"" + id + "\"" + rejected + ">");
            if (l.next_volume != 0)
                x.element("next-volume", std::to_string(l.next_volume));
            play_item(x, layout, l.change_picture);
            x.close("endlist");
        }
    }
    x.close("pbc");
}

}  // namespace

std::vector<ExtraFile> description_extra_files(const DiscLayout& layout)
{
    std::set<std::string> used = {"videocd.xml"};
    for (const SequenceItem& s : layout.sequences)
        used.insert(lower(s.name));
    for (const SegmentItem& s : layout.segments)
        used.insert(lower(s.name));
    std::vector<ExtraFile> extra;
    for (std::size_t i = 0; i < layout.files.size(); ++i) {
        const DiscFile& f = layout.files[i];
        if (f.directory || is_own(f.path))
            continue;
        // One flat folder: the disc's path with '_' for '/' and for any
        // byte a file name had better not hold.
        // A name that would be hidden or empty starts with '_'.
        std::string src = f.path.empty() || f.path[0] == '.' ? "_" : "";
        for (char c : f.path) {
            bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                         c == '-' || c == '_';
            src += plain ? c : '_';
        }
        std::string base = src;
        for (unsigned n = 2; used.contains(lower(src)); ++n)
            src = base + "~" + std::to_string(n);
        used.insert(lower(src));
        extra.push_back({i, src});
    }
    return extra;
}

std::string disc_description_text(const DiscLayout& layout, const PlaybackControl* control,
                                  const DiscTiming& timing)
{
    Xml x;
    x.text = xml_head;
    x.open(formatted("<videocd xmlns=\"%s\" class=\"%s\" version=\"%s\">", xml_namespace, class_name(layout.kind),
                  class_version(layout.kind)));
    write_options(x, layout, timing);

    x.open("<info>");
    x.element("album-id", layout.album_id);
    x.element("volume-count", std::to_string(layout.volume_count));
    x.element("volume-number", std::to_string(layout.volume_number));
    if (layout.use_track3)
        x.line("<next-volume-use-sequence2/>");
    if (layout.use_lid2)
        x.line("<next-volume-use-lid2/>");
    x.element("restriction", std::to_string(layout.restriction));
    x.close("info");

    x.open("<pvd>");
    x.element("volume-id", layout.volume_id);
    x.element("system-id", layout.system_id);
    x.element("application-id", layout.application_id);
    x.element("preparer-id", layout.preparer_id);
    x.element("publisher-id", layout.publisher_id);
    x.close("pvd");

    write_filesystem(x, layout, description_extra_files(layout));

    if (!layout.segments.empty()) {
        x.open("<segment-items>");
        for (std::size_t i = 0; i < layout.segments.size(); ++i) {
            std::string head = "<segment-item src=\"" + xml_text(layout.segments[i].name) + "\" id=\"" + segment_id(i) + "\"";
            if (i >= timing.segment_pauses.size() || timing.segment_pauses[i].empty()) {
                x.line(head + "/>");
                continue;
            }
            x.open(head + ">");
            auto_pauses(x, timing.segment_pauses, i);
            x.close("segment-item");
        }
        x.close("segment-items");
    }
    x.open("<sequence-items>");
    for (std::size_t i = 0; i < layout.sequences.size(); ++i) {
        const SequenceItem& s = layout.sequences[i];
        std::string head = "<sequence-item src=\"" + xml_text(s.name) + "\" id=\"" + sequence_id(i) + "\"";
        bool paused = i < timing.sequence_pauses.size() && !timing.sequence_pauses[i].empty();
        if (s.entries.empty() && !paused) {
            x.line(head + "/>");
            continue;
        }
        x.open(head + ">");
        if (!s.entries.empty())
            x.line("<default-entry id=\"" + entry_id(s.entries[0]) + "\"/>");
        for (std::size_t k = 1; k < s.entries.size(); ++k) {
            std::size_t e = s.entries[k];
            if (e < timing.entry_ticks.size() && timing.entry_ticks[e])
                x.line("<entry id=\"" + entry_id(e) + "\">" + entry_time_text(*timing.entry_ticks[e], 0) + "</entry>");
        }
        auto_pauses(x, timing.sequence_pauses, i);
        x.close("sequence-item");
    }
    x.close("sequence-items");

    if (control != nullptr && !control->lists.empty())
        write_pbc(x, layout, *control);
    x.close("videocd");
    return x.text;
}
