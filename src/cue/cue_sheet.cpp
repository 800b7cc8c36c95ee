#include "cue/cue_sheet.h"

#include <array>

#include "state/numbers.h"
#include "state/run_state.h"

namespace {

constexpr const char* sheet_open_failed_text = "%s could not be opened or accessed.\nFile may not exist.\n\n";
constexpr const char* bin_open_failed_text = "%s could not be opened or accessed.\n";
constexpr const char* bin_name_hint_text = "The filename specified inside the CUE file could be wrong\n\n";
constexpr const char* too_many_text = "Total tracks over 98.  Possible error in CUE file.\n\n";
constexpr const char* missing_file_text = "Error in CUE file!  Missing FILE information.\n\n";
constexpr const char* incomplete_text = "CUE file is incomplete and is missing the necessary track information.\n\n";
constexpr const char* bad_type_text = "Track type %s in CUE file is not supported.\n\n";
constexpr const char* size_warning_text = "\n** BIN size does not match size expected in CUE file. **\n\n";
constexpr const char* mode1_detected_text = "- Mode 1 detected: -fix option automatically disabled.\n";
constexpr const char* mode1_refused_lines[] = {
    "\nThere are no plans to support Mode 1 images. *True* VCDs are burned as Mode 2.\n",
    "If you still wish to extract the MPEG stream from the Mode 1 image,\n",
    "try the -cue2mpg option instead.\n",
    "NOTE: Mode 1 support in -cue2mpg not fully tested.\n",
};


// The sheet read as text the way scanf reads it: words split at white space
// (line ends included), numbers with an optional sign, and an end-of-file
// flag that is set once a read runs into the end.
struct SheetText {
    bool at_end = false;

    int peek()
    {
        std::uint8_t c;
        std::uint64_t pos = io.cue_file.tell();
        if (io.cue_file.read(&c, 1) != 1) {
            at_end = true;
            return -1;
        }
        io.cue_file.seek(pos);
        return c;
    }
    void advance() { io.cue_file.seek(io.cue_file.tell() + 1); }
    static bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

    void skip_space()
    {
        while (is_space(peek()))
            advance();
    }
    bool word(std::string& out)
    {
        skip_space();
        if (peek() < 0)
            return false;
        out.clear();
        for (int c = peek(); c >= 0 && !is_space(c); c = peek()) {
            out.push_back(static_cast<char>(c));
            advance();
        }
        return true;
    }
    bool number(int& out)
    {
        skip_space();
        std::string digits;
        int c = peek();
        if (c == '+' || c == '-') {
            digits.push_back(static_cast<char>(c));
            advance();
        }
        for (c = peek(); c >= '0' && c <= '9'; c = peek()) {
            if (digits.size() < 24)
                digits.push_back(static_cast<char>(c));
            advance();
        }
        if (digits.empty() || digits == "+" || digits == "-")
            return false;
        out = leading_number(digits);
        return true;
    }
    bool literal(char expected)
    {
        if (peek() != static_cast<unsigned char>(expected))
            return false;
        advance();
        return true;
    }
};

struct ReaderState {
    SheetText text;
    bool file_seen = false;
    std::uint64_t bin_size = 0;
    std::uint32_t track_sector_size = 0;  // from the latest TRACK line
    char mode_char = 0;
    int index_number = 0, minutes = 0, seconds = 0, frames = 0;
    bool end_cut = false;  // an entry's end had to be cut to the BIN's size
};

bool try_open_bin(const std::string& name)
{
    return io.input_file.open(name);
}

void open_bin(ReaderState& state, const std::string& written)
{
    std::string rewritten = rewrite_bin_name(written);
    bool opened = try_open_bin(written) || try_open_bin(rewritten);
    // Sheets name their BIN relative to themselves; the program may be run
    // from anywhere.
    std::size_t slash = io.input_name.rfind('/');
    if (!opened && slash != std::string::npos) {
        std::string folder = io.input_name.substr(0, slash + 1);
        for (const std::string* name : std::array<const std::string*, 2>{&written, &rewritten}) {
            if (!name->starts_with('/') && try_open_bin(folder + *name)) {
                opened = true;
                break;
            }
        }
    }
    if (!opened) {
        say(bin_open_failed_text, rewritten.c_str());
        say("%s", bin_name_hint_text);
        end_run(1);
    }
    state.bin_size = file_size(io.input_file);
}

void read_file_line(ReaderState& state)
{
    state.file_seen = true;
    std::string name;
    state.text.word(name);
    bool quoted = !name.empty() && name.front() == '"';
    bool closed = quoted && name.size() > 1 && name.back() == '"';
    if (quoted && name.size() == 1)
        closed = true;  // a lone quote mark is an empty name
    // Whatever white space stood between the words of a quoted name comes
    // out as one space.
    std::string part;
    while (quoted && !closed && state.text.word(part)) {
        name += ' ';
        name += part;
        closed = name.back() == '"';
    }
    if (quoted)
        name = closed ? name.substr(1, name.size() >= 2 ? name.size() - 2 : 0) : name.substr(1);
    open_bin(state, name);
}

void read_track_line(ReaderState& state)
{
    int track_number = 0;
    std::string type;
    if (!state.text.number(track_number))
        return;
    state.text.skip_space();
    if (!state.text.word(type))
        return;
    state.text.skip_space();
    std::uint32_t size = track_type_sector_size(type);
    if (size == 0) {
        say(bad_type_text, type.c_str());
        end_run(1);
    }
    state.track_sector_size = size;
    state.mode_char = type.size() > 4 ? type[4] : 0;
}

std::int64_t index_position(const ReaderState& state)
{
    std::int64_t p = state.minutes * frames_per_minute + state.seconds * frames_per_second + state.frames;
    return p < 0 ? 0 : p;
}

void read_index_line(ReaderState& state)
{
    // Numbers that do not parse keep the values of the previous INDEX line.
    SheetText& t = state.text;
    if (t.number(state.index_number) && t.number(state.minutes) && t.literal(':') && t.number(state.seconds) &&
        t.literal(':') && t.number(state.frames))
        t.skip_space();

    if (settings.highest_track + 1 > 98) {
        say("%s", too_many_text);
        end_run(1);
    }
    ++settings.highest_track;
    std::int64_t p = index_position(state);
    if (settings.highest_track > 0) {
        // One sector short of the new entry's first sector.
        TrackRecord& previous = track_table[static_cast<std::size_t>(settings.highest_track - 1)];
        std::uint64_t end = p == 0 ? 0 : previous.sector_size * static_cast<std::uint64_t>(p - 1);
        if (end > state.bin_size) {
            end = state.bin_size;
            state.end_cut = true;
        }
        previous.end_offset = end;
    }
    TrackRecord& entry = track_table[static_cast<std::size_t>(settings.highest_track)];
    entry.minutes = static_cast<std::int16_t>(state.minutes);
    entry.seconds = static_cast<std::int16_t>(state.seconds);
    entry.frames = static_cast<std::int16_t>(state.frames);
    entry.sector_size = state.track_sector_size;
    entry.start_offset = state.track_sector_size * static_cast<std::uint64_t>(p);
}

void finish_entries(ReaderState& state)
{
    io.cue_file.close();
    for (int i = 0; i <= settings.highest_track; ++i) {
        if (track_table[static_cast<std::size_t>(i)].sector_size == 0) {
            say("%s", incomplete_text);
            end_run(1);
        }
    }
    std::uint64_t size = file_size(io.input_file);
    io.input_file.seek(size);
    TrackRecord& last = track_table[static_cast<std::size_t>(settings.highest_track)];
    last.end_offset = (size / last.sector_size) * last.sector_size;
    if (size % last.sector_size != 0 || state.end_cut || last.start_offset >= size)
        say("%s", size_warning_text);
}

// A sheet with at most one entry is only usable as a Mode 1 single-track
// image under -cue2mpg; its sectors carry 2048 bytes of user data each.
void finish_single_track(ReaderState& state)
{
    if (state.mode_char != '1') {
        say("%s", incomplete_text);
        end_run(1);
    }
    if (settings.mode != cue2mpg_mode) {
        for (const char* line : mode1_refused_lines)
            say("%s", line);
        end_run(1);
    }
    settings.highest_track = 1;
    settings.fix_blocks = 0;
    say("%s", mode1_detected_text);
    settings.read_sector_override = state.track_sector_size;
    settings.write_sector_override = mode1_data_size;
    TrackRecord& entry = track_table[1];
    entry.minutes = 0;
    entry.seconds = 1;
    entry.frames = 0;
    entry.sector_size = state.track_sector_size;
    entry.start_offset = state.track_sector_size * static_cast<std::uint64_t>(index_position(state));
    io.cue_file.close();
    std::uint64_t size = file_size(io.input_file);
    io.input_file.seek(size);
    entry.end_offset = (size / entry.sector_size) * entry.sector_size;
}

}  // namespace

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
        size = 2352;
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

void read_cue_sheet()
{
    if (!io.cue_file.open(io.input_name)) {
        say(sheet_open_failed_text, io.input_name.c_str());
        end_run(1);
    }
    ReaderState state;
    std::string keyword;
    // A word scanner, not a line parser: keywords are recognised by their
    // first letters, case-sensitively, and every other word is skipped.
    while (state.text.word(keyword)) {
        if (!state.file_seen && keyword.starts_with("FILE"))
            read_file_line(state);
        else if (keyword.starts_with("TRACK"))
            read_track_line(state);
        else if (keyword.starts_with("INDEX"))
            read_index_line(state);
        if (state.text.at_end)
            break;
    }
    if (!state.file_seen) {
        say("%s", missing_file_text);
        end_run(1);
    }
    if (settings.highest_track > 0)
        finish_entries(state);
    else
        finish_single_track(state);
}
