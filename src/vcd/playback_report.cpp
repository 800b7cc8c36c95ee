// The playback control in words: one paragraph per list, each line at most
// 79 columns, items by the names their copies get.
#include <cstdio>

#include "vcd/playback.h"
#include "io/report.h"

namespace {

constexpr const char* heading_text = "Playback control, %zu lists (list 1 starts the disc):\n";
constexpr const char* selection_text = "List %u: a menu on %s";
constexpr const char* play_text = "List %u: plays %s";
constexpr const char* end_text = "List %u: the end";
constexpr const char* rejected_text = "reached only from other lists";
constexpr const char* number_text = "%u leads to %s";
constexpr const char* numbers_text = "number keys %u-%u:";
constexpr const char* no_numbers_text = "no number keys";
constexpr const char* next_text = "next: %s";
constexpr const char* prev_text = "previous: %s";
constexpr const char* return_text = "return: %s";
constexpr const char* default_text = "default: %s";
constexpr const char* multi_default_text = "default: the number of the entry playing";
constexpr const char* multi_default_no_numbers_text = "default: the number of the entry playing, number keys off";
constexpr const char* timeout_text = "after %d s without a key: %s";
constexpr const char* timeout_forever_text = "waits for a key";
constexpr const char* loop_once_text = "played once";
constexpr const char* loop_text = "played %u times";
constexpr const char* loop_forever_text = "played until a key is pressed";
constexpr const char* jump_delayed_text = "a key acts at the end of the item";
constexpr const char* play_time_text = "for %u.%02u s";
constexpr const char* wait_text = "then waits %d s";
constexpr const char* wait_forever_text = "then waits for a key";
constexpr const char* autowait_text = "pauses %d s where a picture asks";
constexpr const char* autowait_forever_text = "pauses where a picture asks, until a key";
constexpr const char* stop_text = "stops playback";
constexpr const char* next_volume_text = "asks for volume %u";
constexpr const char* change_picture_text = "shows %s";
constexpr const char* area_text = "areas given for the pointer";
constexpr const char* no_list_there_text = "nothing";
constexpr const char* list_text = "list %u";
constexpr const char* nothing_text = "nothing";
constexpr const char* entry_words_text = "entry %zu of %s";
constexpr const char* invalid_item_text = "item number %u (none on the disc)";

constexpr std::size_t line_width = 79;
constexpr const char* first_indent = "  ";
constexpr const char* second_indent = "    ";
constexpr const char* more_indent = "      ";


std::string list_words(const PlaybackControl& control, int index)
{
    if (index == no_list)
        return no_list_there_text;
    return formatted(list_text, list_number(control, static_cast<std::size_t>(index)));
}

// Prints `head`, then the parts, separated by ", ", with lines broken
// between words so that none is wider than line_width.
void say_wrapped(std::string head, const std::vector<std::string>& parts, const char* indent = first_indent)
{
    for (std::size_t i = 0; i < parts.size(); ++i)
        head += (i == 0 ? (head.ends_with(':') ? " " : ", ") : ", ") + parts[i];
    std::string line = indent;
    bool empty = true;
    for (std::size_t at = 0; at < head.size();) {
        std::size_t end = head.find(' ', at);
        if (end == std::string::npos)
            end = head.size();
        std::string word = head.substr(at, end - at);
        at = end + 1;
        if (!empty && line.size() + 1 + word.size() > line_width) {
            say("%s\n", line.c_str());
            line = more_indent;
            empty = true;
        }
        line += (empty ? "" : " ") + word;
        empty = false;
    }
    say("%s\n", line.c_str());
}

void add_links(std::vector<std::string>& parts, const PlaybackControl& c, const PlaybackList& l)
{
    if (l.prev != no_list)
        parts.push_back(formatted(prev_text, list_words(c, l.prev).c_str()));
    if (l.next != no_list)
        parts.push_back(formatted(next_text, list_words(c, l.next).c_str()));
    if (l.return_to != no_list)
        parts.push_back(formatted(return_text, list_words(c, l.return_to).c_str()));
}

void print_selection(const DiscLayout& layout, const PlaybackControl& c, const PlaybackList& l, unsigned number)
{
    std::string head = formatted(selection_text, number, play_item_words(layout, l.play_item).c_str());
    std::vector<std::string> parts;
    if ((l.loop & 0x7f) == 1)
        parts.push_back(loop_once_text);
    else if (l.loop & 0x7f)
        parts.push_back(formatted(loop_text, l.loop & 0x7fu));
    else
        parts.push_back(loop_forever_text);
    if (l.loop & 0x80)
        parts.push_back(jump_delayed_text);
    if (l.rejected)
        parts.push_back(rejected_text);
    say_wrapped(head, parts);

    parts.clear();
    if (l.selections.empty())
        parts.push_back(no_numbers_text);
    for (std::size_t i = 0; i < l.selections.size(); ++i)
        parts.push_back(formatted(number_text, static_cast<unsigned>(l.bsn + i), list_words(c, l.selections[i]).c_str()));
    if (!l.selections.empty()) {
        std::string keys = formatted(numbers_text, static_cast<unsigned>(l.bsn),
                                  static_cast<unsigned>(l.bsn + l.selections.size() - 1));
        say_wrapped(keys, parts, second_indent);
    } else {
        say_wrapped(parts[0], {}, second_indent);
    }

    parts.clear();
    add_links(parts, c, l);
    if (l.default_action == DefaultAction::list)
        parts.push_back(formatted(default_text, list_words(c, l.default_list).c_str()));
    else if (l.default_action == DefaultAction::multi)
        parts.push_back(multi_default_text);
    else if (l.default_action == DefaultAction::multi_no_numbers)
        parts.push_back(multi_default_no_numbers_text);
    int timeout = wait_seconds(l.timeout_code);
    if (l.timeout_list != no_list && timeout >= 0)
        parts.push_back(formatted(timeout_text, timeout, list_words(c, l.timeout_list).c_str()));
    else
        parts.push_back(timeout_forever_text);
    if (l.has_areas)
        parts.push_back(area_text);
    say_wrapped(parts[0], std::vector<std::string>(parts.begin() + 1, parts.end()), second_indent);
}

void print_play(const DiscLayout& layout, const PlaybackControl& c, const PlaybackList& l, unsigned number)
{
    std::vector<std::string> items;
    for (std::uint16_t n : l.items)
        items.push_back(play_item_words(layout, n));
    if (items.empty())
        items.push_back(nothing_text);
    std::string head = formatted(play_text, number, items[0].c_str());
    say_wrapped(head, std::vector<std::string>(items.begin() + 1, items.end()));

    std::vector<std::string> parts;
    if (l.play_time != 0)
        parts.push_back(formatted(play_time_text, l.play_time / 15u, l.play_time % 15u * 100 / 15));
    int wait = wait_seconds(l.wait_code);
    parts.push_back(wait < 0 ? std::string(wait_forever_text) : formatted(wait_text, wait));
    int autowait = wait_seconds(l.autowait_code);
    if (l.autowait_code != 0)
        parts.push_back(autowait < 0 ? std::string(autowait_forever_text) : formatted(autowait_text, autowait));
    add_links(parts, c, l);
    if (l.rejected)
        parts.push_back(rejected_text);
    say_wrapped(parts[0], std::vector<std::string>(parts.begin() + 1, parts.end()), second_indent);
}

void print_end(const DiscLayout& layout, const PlaybackList& l, unsigned number)
{
    std::vector<std::string> parts;
    parts.push_back(l.next_volume == 0 ? std::string(stop_text) : formatted(next_volume_text, l.next_volume));
    if (l.change_picture != 0)
        parts.push_back(formatted(change_picture_text, play_item_words(layout, l.change_picture).c_str()));
    if (l.rejected)
        parts.push_back(rejected_text);
    say_wrapped(formatted(end_text, number), parts);
}

}  // namespace

std::string play_item_words(const DiscLayout& layout, std::uint16_t number)
{
    PlayItemRef ref = resolve_play_item(layout, number);
    auto at = [](auto& v, int i) -> auto& { return v[static_cast<std::size_t>(i)]; };
    switch (ref.kind) {
    case PlayItemKind::nothing:
        return nothing_text;
    case PlayItemKind::sequence:
        return at(layout.sequences, ref.index).name;
    case PlayItemKind::segment:
        return at(layout.segments, ref.index).name;
    case PlayItemKind::entry: {
        const SequenceItem& s = at(layout.sequences, sequence_of_entry(layout, static_cast<std::size_t>(ref.index)));
        std::size_t k = 0;
        while (s.entries[k] != ref.index)
            ++k;
        return formatted(entry_words_text, k + 1, s.name.c_str());
    }
    default:
        return formatted(invalid_item_text, static_cast<unsigned>(number));
    }
}

void print_playback_control(const DiscLayout& layout, const PlaybackControl& control)
{
    say(heading_text, control.lists.size());
    for (std::size_t i = 0; i < control.lists.size(); ++i) {
        const PlaybackList& l = control.lists[i];
        unsigned number = list_number(control, i);
        if (l.kind == ListKind::selection)
            print_selection(layout, control, l, number);
        else if (l.kind == ListKind::play)
            print_play(layout, control, l, number);
        else
            print_end(layout, l, number);
    }
}
