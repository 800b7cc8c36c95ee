#include "image/cue_sheet.h"

#include <algorithm>

#include "io/numbers.h"
#include "io/report.h"
#include "io/text.h"

namespace {

constexpr const char* too_many_text = "Total tracks over 98.  Possible error in CUE file.\n\n";
constexpr const char* missing_file_text = "Error in CUE file!  Missing FILE information.\n\n";
constexpr const char* incomplete_text = "CUE file is incomplete and is missing the necessary track information.\n\n";
constexpr const char* bad_type_text = "Track type %s in CUE file is not supported.\n\n";
// What a whole disc refuses, the line quoted; the CUE modes read past it.
constexpr const char* bad_index_text = "line %u: \"%s\" does not read as INDEX nn mm:ss:ff (seconds 0-59, frames 0-74).";
constexpr const char* late_index_text = "line %u: \"%s\" lies at or past 90:00:00, beyond the end of any CD.";
constexpr const char* backward_index_text = "line %u: \"%s\" goes back before the INDEX above it in the same FILE.";
constexpr const char* inexact_type_text =
    "line %u: \"%s\" has a track type other than AUDIO, CDG, CDI/n or MODEm/nnnn.";

constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";
// Lines whose words are text about the disc, never keywords.
constexpr std::string_view text_line_words[] = {"REM", "TITLE", "PERFORMER", "SONGWRITER",
                                                "CATALOG", "ISRC", "CDTEXTFILE"};
// A BIN name longer than this is cut; no real path comes near it.
constexpr std::size_t max_name_size = 4096;
// Longer than any CD made: 90 minutes.
constexpr std::int64_t most_disc_sectors = 90 * frames_per_minute;
constexpr std::size_t max_quoted_line = 80;

// The sheet read the way scanf reads it: words split at white space (line
// ends included), numbers with an optional sign.
struct Cursor {
    std::string_view text;
    std::size_t pos = 0;

    static bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
    int peek() const { return pos < text.size() ? static_cast<unsigned char>(text[pos]) : -1; }
    void skip_space()
    {
        while (pos < text.size() && is_space(text[pos]))
            ++pos;
    }
    void skip_line()
    {
        while (pos < text.size() && text[pos] != '\n' && text[pos] != '\r')
            ++pos;
    }
    // Empty only at the end of the text.
    std::string_view word()
    {
        skip_space();
        std::size_t start = pos;
        while (pos < text.size() && !is_space(text[pos]))
            ++pos;
        return text.substr(start, pos - start);
    }
    bool number(int& out)
    {
        skip_space();
        std::size_t start = pos;
        if (peek() == '+' || peek() == '-')
            ++pos;
        std::size_t digits = pos;
        while (peek() >= '0' && peek() <= '9')
            ++pos;
        if (pos == digits)
            return false;
        out = leading_number(text.substr(start, pos - start));
        return true;
    }
    bool literal(char expected)
    {
        if (peek() != static_cast<unsigned char>(expected))
            return false;
        ++pos;
        return true;
    }
};

std::string error_text(const char* format, std::string_view word)
{
    std::string out(format);
    out.replace(out.find("%s"), 2, word);
    return out;
}

// Whatever white space stood between the words of a quoted name comes out
// as one space.
std::string read_bin_name(Cursor& c)
{
    std::string name(c.word().substr(0, max_name_size));
    if (name.empty() || name.front() != '"')
        return name;
    // A lone quote mark both opens and closes the name, which is then empty.
    if (name.size() == 1)
        return {};
    bool closed = name.back() == '"';
    while (!closed) {
        std::string_view part = c.word();
        if (part.empty())
            return name.substr(1);
        if (name.size() < max_name_size)
            name.append(" ").append(part.substr(0, max_name_size));
        closed = part.back() == '"';
    }
    return name.substr(1, name.size() - 2);
}

// A field of a disc time or an index number, or -1 where it is not digits
// alone or above `most`.
int strict_field(std::string_view digits, int most)
{
    if (digits.empty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(), [](char d) { return d >= '0' && d <= '9'; }))
        return -1;
    int value = leading_number(digits);
    return value <= most ? value : -1;
}

// The sectors of "mm:ss:ff", or -1.
std::int64_t strict_time(std::string_view word)
{
    std::size_t first = word.find(':'), second = word.find(':', first + 1);
    if (second == std::string_view::npos)
        return -1;
    int m = strict_field(word.substr(0, first), 99), s = strict_field(word.substr(first + 1, second - first - 1), 59),
        f = strict_field(word.substr(second + 1), 74);
    return m < 0 || s < 0 || f < 0 ? -1 : m * frames_per_minute + s * frames_per_second + f;
}

// The type words the lenient reading takes whole: none of their characters
// ignored ("MODE2/23520" is read as MODE2/2352 there). MODE is in any case,
// as that reading never looks at it.
bool exact_type_word(std::string_view word)
{
    if (word == "AUDIO" || word == "CDG")
        return true;
    if (word.starts_with("CDI/"))
        return strict_field(word.substr(4), 99999) >= 0;
    return word.size() == 10 && equals_folded(word.substr(0, 4), "MODE") && word[4] >= '0' && word[4] <= '9' &&
           word[5] == '/' && strict_field(word.substr(6), 9999) >= 0;
}

struct Parser {
    Cursor c;
    ParsedSheet sheet;
    int minutes = 0, seconds = 0, frames = 0;
    int track_number = 0;
    // The number of FILE lines before the latest INDEX line.
    std::size_t index_file = 0;

    // Notes the first line a whole disc refuses: fault quotes the line that
    // starts at the keyword at `at`.
    void refuse_for_disc(const char* fault, std::size_t at)
    {
        if (!sheet.disc_error.empty())
            return;
        std::string_view from = c.text.substr(at);
        std::string_view line = from.substr(0, std::min(from.find_first_of("\r\n"), max_quoted_line));
        line = line.substr(0, line.find_last_not_of(" \t") + 1);
        std::string_view before = c.text.substr(0, at);
        // Line ends as the word reading takes them: LF, CR LF or a lone CR.
        auto line_ends = static_cast<unsigned>(std::count(before.begin(), before.end(), '\n'));
        for (std::size_t i = 0; i < before.size(); ++i)
            line_ends += before[i] == '\r' && (i + 1 == before.size() || before[i + 1] != '\n');
        sheet.disc_error = formatted(fault, line_ends + 1, std::string(line).c_str());
    }

    std::uint16_t current_bin() const
    {
        return static_cast<std::uint16_t>(sheet.bins.empty() ? 0 : sheet.bins.size() - 1);
    }

    void track_line(std::size_t at)
    {
        if (!c.number(track_number))
            return;
        std::string_view type = c.word();
        c.skip_space();
        if (type.empty())
            return;
        std::uint32_t size = track_type_sector_size(type);
        if (size == 0) {
            sheet.error = error_text(bad_type_text, type);
            return;
        }
        if (!exact_type_word(type))
            refuse_for_disc(inexact_type_text, at);
        sheet.sector_size = size;
        sheet.mode_char = type.size() > 4 ? type[4] : 0;
    }

    // The strict reading of an INDEX line, ahead of the lenient one.
    void check_index(std::size_t at)
    {
        Cursor strict = c;
        std::string_view number = strict.word();
        std::int64_t p = strict_field(number, 99) >= 0 ? strict_time(strict.word()) : -1;
        if (p < 0)
            refuse_for_disc(bad_index_text, at);
        else if (p >= most_disc_sectors)
            refuse_for_disc(late_index_text, at);
        else if (!sheet.entries.empty() && index_file == sheet.bins.size() && p < sheet.last_position)
            refuse_for_disc(backward_index_text, at);
        index_file = sheet.bins.size();
    }

    void index_line(std::size_t at)
    {
        check_index(at);
        // Numbers that do not parse keep the values of the previous INDEX line.
        int index_number = 0;
        if (c.number(index_number) && c.number(minutes) && c.literal(':') && c.number(seconds) &&
            c.literal(':') && c.number(frames))
            c.skip_space();
        if (sheet.entries.size() == max_tracks) {
            sheet.error = too_many_text;
            return;
        }
        std::int64_t p = std::max<std::int64_t>(0, minutes * frames_per_minute + seconds * frames_per_second + frames);
        sheet.last_position = p;
        if (!sheet.entries.empty() && sheet.entries.back().bin == current_bin()) {
            // One sector short of the new entry's first sector.
            TrackRecord& previous = sheet.entries.back();
            std::uint64_t end = p == 0 ? 0 : previous.sector_size * static_cast<std::uint64_t>(p - 1);
            if (sheet.bins.empty() && end > 0) {
                end = 0;
                sheet.end_cut = true;
            }
            previous.end_offset = end;
        }
        TrackRecord entry;
        entry.minutes = static_cast<std::int16_t>(minutes);
        entry.seconds = static_cast<std::int16_t>(seconds);
        entry.frames = static_cast<std::int16_t>(frames);
        entry.sector_size = sheet.sector_size;
        entry.start_offset = sheet.sector_size * static_cast<std::uint64_t>(p);
        entry.bin = current_bin();
        entry.track_number = static_cast<std::int16_t>(track_number);
        entry.track_mode = sheet.mode_char;
        entry.index_number = static_cast<std::int16_t>(index_number);
        sheet.entries.push_back(entry);
    }

    void check_end()
    {
        if (sheet.bins.empty())
            sheet.error = missing_file_text;
        else if (sheet.entries.size() > 1 &&
                 std::any_of(sheet.entries.begin(), sheet.entries.end(), [](auto& e) { return e.sector_size == 0; }))
            sheet.error = incomplete_text;
        else if (sheet.entries.size() <= 1 && sheet.mode_char != '1') {
            sheet.error = incomplete_text;
            sheet.one_track = true;
        }
    }
};

}  // namespace

ParsedSheet parse_cue_sheet(std::string_view text)
{
    if (text.starts_with(byte_order_mark))
        text.remove_prefix(byte_order_mark.size());
    Parser p{Cursor{text}, {}};
    // A word scanner more than a line parser: keywords are recognised by
    // their first letters, case-sensitively, and every other word is skipped.
    for (std::string_view w = p.c.word(); !w.empty() && p.sheet.error.empty(); w = p.c.word()) {
        if (std::find(std::begin(text_line_words), std::end(text_line_words), w) != std::end(text_line_words))
            p.c.skip_line();
        else if (w.starts_with("FILE"))
            p.sheet.bins.push_back(read_bin_name(p.c));
        else if (w.starts_with("TRACK"))
            p.track_line(static_cast<std::size_t>(w.data() - text.data()));
        else if (w.starts_with("INDEX"))
            p.index_line(static_cast<std::size_t>(w.data() - text.data()));
    }
    if (p.sheet.error.empty())
        p.check_end();
    return p.sheet;
}

bool set_entry_ends(std::span<TrackRecord> entries, std::span<const std::uint64_t> bin_sizes, bool end_cut)
{
    bool disagree = end_cut;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        TrackRecord& e = entries[i];
        std::uint64_t size = bin_sizes[e.bin];
        if (i + 1 == entries.size() || entries[i + 1].bin != e.bin) {
            e.end_offset = size / e.sector_size * e.sector_size;
            disagree = disagree || size % e.sector_size != 0 || e.start_offset >= size;
        } else if (e.end_offset > size) {
            e.end_offset = size;
            disagree = true;
        }
    }
    return disagree;
}

std::string rewrite_bin_name(std::string name)
{
    for (std::size_t i = name.size(); i > 0; --i) {
        char& c = name[i - 1];
        if (c == '/')
            break;
        if (c == '\\')
            c = '/';
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return name;
}

std::uint32_t track_type_sector_size(std::string_view word)
{
    std::int32_t size = 0;
    if (word == "AUDIO")
        size = raw_sector_size;
    else if (word == "CDG")
        size = 2448;
    else if (word.starts_with("CDI/"))
        size = leading_number(word.substr(4));
    else if (word.size() >= 10)
        size = leading_number(word.substr(6, 4));  // MODEm/ssss
    if (size < 1 || static_cast<std::uint32_t>(size) > sector_buffer_size)
        return 0;
    return static_cast<std::uint32_t>(size);
}
