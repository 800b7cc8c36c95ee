#include "image/clonecd_sheet.h"

#include <array>
#include <map>
#include <optional>

#include "io/report.h"
#include "io/text.h"

namespace {

constexpr const char* no_track_text = "it names no track";
constexpr const char* not_a_number_text = "its [%s] gives %s=%s, which is not a number";
constexpr const char* bad_track_number_text = "it has a section [%s], but tracks are numbered 1 to 99";
constexpr const char* named_twice_text = "it names track %d twice";
constexpr const char* missing_track_text = "it names track %d but no track %d";
constexpr const char* no_start_text = "it gives no start for track %d";
constexpr const char* absurd_start_text = "track %d starts at sector %lld, which no CD has";
constexpr const char* absurd_lead_out_text = "its lead-out lies at sector %lld, which no CD has";
constexpr const char* bad_mode_text = "its [TRACK %d] gives MODE=%lld, which no CD track has";
constexpr const char* starts_before_text = "track %d starts before track %d";
constexpr const char* starts_with_text = "track %d starts where track %d does";
constexpr const char* scrambled_text = "its data tracks are kept scrambled";
constexpr const char* lead_out_before_text = "its lead-out lies before its last track";

// Sector 450,000 is 100 minutes in: past the end of any CD.
constexpr long long max_lsn = 450000;
constexpr long long lead_out_point = 0xA2;

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// Decimal, or hexadecimal after 0x, with an optional sign; nullopt for
// anything else, and for more digits than any sheet needs.
std::optional<long long> number_of(std::string_view s)
{
    s = trimmed(s);
    bool negative = !s.empty() && s[0] == '-';
    if (!s.empty() && (s[0] == '-' || s[0] == '+'))
        s.remove_prefix(1);
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty() || s.size() > 12)
        return std::nullopt;
    long long value = 0;
    for (char c : s) {
        char lower = static_cast<char>(c | 0x20);
        int digit = c >= '0' && c <= '9' ? c - '0' : lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : 99;
        if (digit >= base)
            return std::nullopt;
        value = value * base + digit;
    }
    return negative ? -value : value;
}

// A section or key name: a word in any case, perhaps followed by a number
// ("Entry 3", "INDEX 1"). A tail that is no number makes a name that
// matches nothing.
struct Name {
    std::string word;  // lower case
    std::optional<long long> number;
};

Name name_of(std::string_view s)
{
    s = trimmed(s);
    Name name;
    std::size_t end = 0;
    for (; end < s.size() && ((s[end] | 0x20) >= 'a' && (s[end] | 0x20) <= 'z'); ++end)
        name.word += static_cast<char>(s[end] | 0x20);
    if (end < s.size()) {
        name.number = number_of(s.substr(end));
        if (!name.number)
            name.word += '?';
    }
    return name;
}

struct Key {
    Name name;
    std::string_view written, value;
};

struct Section {
    Name name;
    std::string_view title;  // as written, for messages
    std::vector<Key> keys;
};

std::vector<Section> sections_of(std::string_view text)
{
    std::vector<Section> sections;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = trimmed(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        std::size_t equals = line.find('=');
        if (line.starts_with('[') && line.find(']') != std::string_view::npos) {
            std::string_view title = line.substr(1, line.find(']') - 1);
            sections.push_back({name_of(title), title, {}});
        } else if (equals != std::string_view::npos && !sections.empty()) {
            std::string_view key = trimmed(line.substr(0, equals));
            sections.back().keys.push_back({name_of(key), key, trimmed(line.substr(equals + 1))});
        }
    }
    return sections;
}

// Text of the sheet's own in a message, cut where a damaged sheet's would be too long to show.
std::string quoted(std::string_view text)
{
    return text.size() > 40 ? std::string(text.substr(0, 40)) + "..." : std::string(text);
}

struct Reader {
    std::string error;

    // The key's number, the last one where a key is given twice; nullopt
    // when it is missing, and an error when it is there but no number.
    std::optional<long long> get(const Section& section, std::string_view word, std::optional<long long> number = {})
    {
        for (auto key = section.keys.rbegin(); key != section.keys.rend(); ++key) {
            if (key->name.word != word || key->name.number != number)
                continue;
            std::optional<long long> value = number_of(key->value);
            if (!value && error.empty())
                error = formatted(not_a_number_text, quoted(section.title).c_str(), quoted(key->written).c_str(),
                                  quoted(key->value).c_str());
            return value;
        }
        return std::nullopt;
    }
};

struct SheetTrack {
    bool in_entry = false, in_section = false;
    long long session = 1;
    std::optional<long long> entry_start, control, mode, index1;
};

// An entry's position: PLBA, or else its P-MSF (which counts from 00:02:00
// before sector 0).
std::optional<long long> entry_position(Reader& reader, const Section& entry)
{
    if (std::optional<long long> lba = reader.get(entry, "plba"))
        return lba;
    std::optional<long long> m = reader.get(entry, "pmin"), s = reader.get(entry, "psec"), f = reader.get(entry, "pframe");
    if (m && s && f)
        return (*m * 60 + *s) * 75 + *f - 150;
    return std::nullopt;
}

std::string read_sheet(std::string_view text, TrackLayout& layout)
{
    Reader reader;
    std::map<long long, SheetTrack> tracks;
    std::map<long long, long long> lead_outs;  // by session
    for (const Section& section : sections_of(text)) {
        if (section.name.word == "entry") {
            std::optional<long long> point = reader.get(section, "point"), adr = reader.get(section, "adr");
            long long session = reader.get(section, "session").value_or(1);
            // Entries of ADR 5 (the next session's start and the like) reuse the point numbers.
            bool position = point && (!adr || (*adr & 0x0F) == 1);
            if (position && *point == lead_out_point) {
                if (std::optional<long long> lba = entry_position(reader, section))
                    lead_outs[session] = *lba;
            } else if (position && *point >= 1 && *point <= 99) {
                SheetTrack& track = tracks[*point];
                if (track.in_entry)
                    return formatted(named_twice_text, static_cast<int>(*point));
                track.in_entry = true;
                track.session = session;
                track.entry_start = entry_position(reader, section);
                track.control = reader.get(section, "control");
            }
        } else if (section.name.word == "disc") {
            // Scrambled sectors would have to be descrambled before anything in them could be read.
            if (reader.get(section, "datatracksscrambled").value_or(0) != 0)
                return scrambled_text;
        } else if (section.name.word == "track") {
            long long number = section.name.number.value_or(0);
            if (number < 1 || number > 99)
                return formatted(bad_track_number_text, quoted(section.title).c_str());
            SheetTrack& track = tracks[number];
            if (track.in_section)
                return formatted(named_twice_text, static_cast<int>(number));
            track.in_section = true;
            track.mode = reader.get(section, "mode");
            track.index1 = reader.get(section, "index", 1);
        }
        if (!reader.error.empty())
            return reader.error;
    }
    if (tracks.empty())
        return no_track_text;

    for (const auto& [number, track] : tracks) {
        int n = static_cast<int>(number);
        if (!layout.tracks.empty() && layout.tracks.back().number != n - 1)
            return formatted(missing_track_text, n, n - 1);
        std::optional<long long> start = track.index1 ? track.index1 : track.entry_start;
        if (!start)
            return formatted(no_start_text, n);
        if (*start < 0 || *start > max_lsn)
            return formatted(absurd_start_text, n, *start);
        if (track.mode && (*track.mode < 0 || *track.mode > 2))
            return formatted(bad_mode_text, n, *track.mode);
        TrackMode mode = TrackMode::unknown;
        if (track.mode)
            mode = std::array{TrackMode::audio, TrackMode::mode1, TrackMode::mode2}[*track.mode];
        else if (track.control)
            mode = (*track.control & 0x04) ? TrackMode::mode2 : TrackMode::audio;  // the data bit
        if (!layout.tracks.empty() && layout.tracks.back().first_lsn >= *start)
            return formatted(layout.tracks.back().first_lsn > *start ? starts_before_text : starts_with_text, n, n - 1);
        layout.tracks.push_back({n, static_cast<std::uint32_t>(*start), mode});
    }

    long long last_lead_out = 0;
    for (const auto& [session, lba] : lead_outs) {
        if (lba < 0 || lba > max_lsn)
            return formatted(absurd_lead_out_text, lba);
        for (const auto& [number, track] : tracks)
            if (track.session == session && lba <= (track.index1 ? *track.index1 : *track.entry_start))
                return lead_out_before_text;
        last_lead_out = std::max(last_lead_out, lba);
    }
    layout.runs.push_back({0, static_cast<std::uint32_t>(last_lead_out), 0, 2352});
    return {};
}

}  // namespace

TrackLayout parse_clonecd_sheet(std::string_view text)
{
    TrackLayout layout;
    layout.error = read_sheet(text, layout);
    if (!layout.error.empty()) {
        layout.runs.clear();
        layout.tracks.clear();
    }
    return layout;
}

DiscImage open_clonecd_image(const std::string& name)
{
    std::size_t dot = name.rfind('.');
    std::string stem = name.substr(0, dot == std::string::npos || name.find('/', dot) != std::string::npos ? name.size() : dot);
    std::size_t slash = stem.rfind('/');
    std::string data_file = stem.substr(slash == std::string::npos ? 0 : slash + 1) + ".img";
    return open_described_image(name, clonecd_format, parse_clonecd_sheet(read_descriptor(name)), data_file);
}

namespace {

bool claims_clonecd(const ImageProbe& p)
{
    constexpr std::string_view section = "[CloneCD]";
    return starts_folded({reinterpret_cast<const char*>(p.head.data()), p.head.size()}, section) ||
           ends_folded(p.name, ".ccd");
}

}  // namespace

const ImageFormat clonecd_format{"a CloneCD image", ImageKind::described, claims_clonecd, open_clonecd_image};
