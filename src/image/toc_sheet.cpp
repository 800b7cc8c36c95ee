#include "image/toc_sheet.h"

#include "image/cue_sheet.h"
#include "image/sheet_files.h"
#include "io/report.h"
#include "io/text.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <span>

namespace {

struct Words {
    std::string_view text;
    std::size_t at = 0;
    bool quoted = false;

    // The next word: a quoted string without its quotes (backslash escapes
    // kept as written), or a run of non-blank bytes; comments are skipped.
    bool next(std::string& word)
    {
        word.clear();
        for (;;) {
            while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r')))
                ++at;
            if (at + 1 < text.size() && text[at] == '/' && text[at + 1] == '/') {
                while (at < text.size() && text[at] != '\n')
                    ++at;
                continue;
            }
            break;
        }
        if (at >= text.size())
            return false;
        quoted = text[at] == '"';
        if (quoted) {
            for (++at; at < text.size() && text[at] != '"'; ++at) {
                if (text[at] == '\\' && at + 1 < text.size())
                    ++at;
                word += text[at];
            }
            ++at;
            return true;
        }
        while (at < text.size() && !(text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r')))
            word += text[at++];
        return true;
    }

    // The next word if it has this shape, without taking it otherwise.
    bool peek_is_length()
    {
        std::size_t saved = at;
        std::string word;
        bool is = next(word) && !quoted && !word.empty() && (word[0] >= '0' && word[0] <= '9');
        at = saved;
        return is;
    }
};

// The bytes a time or length word stands for: "mm:ss:ff" in sectors of
// sector_size, or a plain number of units (bytes; samples of 4 bytes in an
// audio track). -1 when it is neither.
long long bytes_of(const std::string& word, std::uint32_t sector_size, std::uint32_t unit)
{
    int m = 0, s = 0, f = 0;
    char tail = 0;
    if (std::sscanf(word.c_str(), "%d:%d:%d%c", &m, &s, &f, &tail) == 3 && m >= 0 && s >= 0 && s < 60 && f >= 0 &&
        f < 75)
        return ((m * 60LL + s) * 75 + f) * sector_size;
    if (word.empty())
        return -1;
    char* end = nullptr;
    long long n = std::strtoll(word.c_str(), &end, 10);
    // Far past any disc, and far from overflowing.
    constexpr long long most = 1LL << 48;
    if (end && *end == '\0' && n >= 0 && n <= most)
        return n * unit;
    return -1;
}

struct TocMode {
    std::string_view word;
    std::uint32_t sector_size;  // as cdrdao stores the track's sectors
    TrackMode mode;
};
constexpr TocMode toc_modes[] = {
    {"MODE2_RAW", 2352, TrackMode::mode2},   {"MODE2_FORM_MIX", 2336, TrackMode::mode2},
    {"MODE2", 2336, TrackMode::mode2},       {"MODE2_FORM1", 2048, TrackMode::mode2},
    {"MODE1_RAW", 2352, TrackMode::mode1},   {"MODE1", 2048, TrackMode::mode1},
    {"AUDIO", 2352, TrackMode::audio},
};
// Each sector followed by its subchannel, packed or raw.
constexpr std::string_view subchannel_words[] = {"RW", "RW_RAW"};
constexpr std::uint32_t subchannel_size = 96;

}  // namespace

TocSheet parse_toc(std::string_view text)
{
    TocSheet sheet;
    Words words{text};
    std::string word;
    std::uint32_t sector_size = 2352;
    TrackMode mode = TrackMode::mode2;
    auto refuse = [&sheet](std::string why) {
        if (sheet.unsupported.empty())
            sheet.unsupported = std::move(why);
    };
    // The next word if it is one of these, without taking another.
    auto next_is = [&words](std::span<const std::string_view> these) {
        std::size_t saved = words.at;
        std::string w;
        if (words.next(w) && !words.quoted && std::find(these.begin(), these.end(), w) != these.end())
            return true;
        words.at = saved;
        return false;
    };
    while (words.next(word)) {
        if (words.quoted)
            continue;
        if (word == "{") {
            // CD_TEXT blocks, which may nest, say nothing of the sectors.
            int depth = 1;
            while (depth > 0 && words.next(word))
                if (!words.quoted)
                    depth += word == "{" ? 1 : word == "}" ? -1 : 0;
        } else if (word == "TRACK") {
            ++sheet.tracks;
            if (!words.next(word)) {
                refuse("a TRACK line without its mode");
                break;
            }
            auto known = std::find_if(std::begin(toc_modes), std::end(toc_modes), [&](auto& m) { return m.word == word; });
            sector_size = known == std::end(toc_modes) ? 0 : known->sector_size;
            mode = known == std::end(toc_modes) ? TrackMode::unknown : known->mode;
            if (sector_size > 0 && next_is(subchannel_words))
                sector_size += subchannel_size;
            if (!framing_of(sector_size)) {
                refuse("track " + std::to_string(sheet.tracks) + " is " + word + ", which the program does not read");
                sector_size = 0;
            }
        } else if (word == "DATAFILE" || word == "FILE" || word == "AUDIOFILE") {
            bool data = word == "DATAFILE";
            TocPiece piece;
            piece.sector_size = sector_size ? sector_size : 2352;
            piece.track = sheet.tracks;
            piece.mode = mode;
            const std::uint32_t unit = mode == TrackMode::audio ? 4 : 1;
            if (!words.next(piece.file) || !words.quoted || piece.file.empty()) {
                refuse("a " + word + " line without a file name");
                break;
            }
            std::size_t saved = words.at;
            std::string more;
            const bool offset_given = words.next(more) && !words.quoted && more.starts_with('#');
            if (offset_given)
                piece.offset = std::strtoull(more.c_str() + 1, nullptr, 10);
            else
                words.at = saved;
            if (!data) {
                // FILE "name" start [length]: the start is in the file.
                std::string start;
                long long at = words.next(start) ? bytes_of(start, piece.sector_size, unit) : -1;
                if (at < 0) {
                    refuse("a FILE line without its start");
                    break;
                }
                piece.offset += static_cast<std::uint64_t>(at);
            }
            if (words.peek_is_length()) {
                words.next(word);
                long long n = bytes_of(word, piece.sector_size, unit) / piece.sector_size;
                if (n <= 0 || n > 0xFFFFFFFFLL) {
                    refuse("a length of " + word);
                    break;
                }
                piece.sectors = static_cast<std::uint32_t>(n);
            }
            // cdrdao reads a WAVE file's samples from after its header, of
            // whatever size it is.
            if (!data && !offset_given && ends_folded(piece.file, ".wav"))
                refuse("the WAVE file " + piece.file);
            if (sheet.tracks == 0)
                refuse("data before the first TRACK line");
            sheet.pieces.push_back(std::move(piece));
        } else if (word == "ZERO" || word == "SILENCE" || word == "PREGAP") {
            // ZERO may name the mode and subchannel of its sectors first.
            std::string length;
            for (int i = 0; i < 2 && !words.peek_is_length(); ++i)
                words.next(length);
            length.clear();
            if (words.peek_is_length())
                words.next(length);
            const std::uint32_t size = sector_size ? sector_size : 2352;
            long long bytes = bytes_of(length, size, mode == TrackMode::audio ? 4 : 1), n = bytes / size;
            if (bytes < 0 || n > 0xFFFFFFFFLL) {
                refuse("a " + word + " line without its length");
                break;
            }
            if (sheet.tracks == 0)
                refuse("data before the first TRACK line");
            if (n > 0)
                sheet.pieces.push_back({"", 0, static_cast<std::uint32_t>(n), size, sheet.tracks, mode});
        } else if (word == "FIFO") {
            refuse("a stretch of FIFO that no file holds");
        }
    }
    if (std::none_of(sheet.pieces.begin(), sheet.pieces.end(), [](const TocPiece& p) { return !p.file.empty(); }))
        refuse("no data file");
    return sheet;
}

namespace {

constexpr const char* toc_file_failed_text = "%s, named in the TOC file, could not be opened.\n";
constexpr const char* toc_piece_outside_text = "The TOC file reads %s from byte %llu on, past its end.\n";

// Whether a data file the TOC names is where it is looked for.
bool toc_file_found(const std::string& toc, const std::string& file)
{
    std::error_code error;
    for (const std::string& path : bin_candidates(toc, file))
        if (std::filesystem::exists(path, error))
            return true;
    return false;
}

}  // namespace

// A TOC is read as runs of its data files, like a CUE sheet. libcdio's
// reader of the other shapes is not used: it drops tracks it cannot place
// (a data track before a WAVE file), reads subchannel-bearing sectors at
// 2352 bytes, and divides by zero on a MODE2_FORM2 track.
DiscImage open_toc_image(const std::string& name)
{
    TocSheet sheet = parse_toc(read_sheet_text(name));
    if (!sheet.unsupported.empty()) {
        // A missing file is the likelier fault, and the one a user can mend.
        for (const TocPiece& piece : sheet.pieces)
            if (!piece.file.empty() && !toc_file_found(name, piece.file)) {
                say(toc_file_failed_text, piece.file.c_str());
                end_run(1);
            }
        refuse_image(name, toc_format, sheet.unsupported);
    }
    DiscImage image;
    std::uint64_t lsn = 0;
    for (const TocPiece& piece : sheet.pieces) {
        // Past 4 GiB of sectors add_image_run refuses the run.
        const auto first = static_cast<std::uint32_t>(std::min<std::uint64_t>(lsn, 0xFFFFFFFF));
        if (image.tracks.empty() || image.tracks.back().number != static_cast<int>(piece.track))
            image.tracks.push_back({static_cast<int>(piece.track), first, piece.mode});
        if (piece.file.empty()) {
            lsn += piece.sectors;
            continue;
        }
        std::optional<ImageFile> found;
        for (const std::string& path : bin_candidates(name, piece.file))
            if (std::optional<std::uint64_t> size = input_file_size(path); size && !found)
                found = ImageFile{path, *size, {}};
        if (!found) {
            say(toc_file_failed_text, piece.file.c_str());
            end_run(1);
        }
        auto file = static_cast<std::uint16_t>(image.files.size());
        image.files.push_back(std::move(*found));
        if (!add_image_run(image, file, first, piece.sectors, piece.offset, piece.sector_size)) {
            say(toc_piece_outside_text, piece.file.c_str(), static_cast<unsigned long long>(piece.offset));
            end_run(1);
        }
        lsn = image.sectors;
    }
    return image;
}

namespace {

bool claims_toc(const ImageProbe& p)
{
    return ends_folded(p.name, ".toc");
}

}  // namespace

const ImageFormat toc_format{"a cdrdao TOC file", ImageKind::described, claims_toc, open_toc_image};
