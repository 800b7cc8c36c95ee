#include "image/toc_sheet.h"

#include "image/cdio_source.h"
#include "image/cue_sheet.h"
#include "image/sheet_files.h"
#include "io/report.h"
#include "io/text.h"

#include <cstdlib>

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

// "mm:ss:ff" in sectors, or a plain number of bytes in whole sectors of that
// size; -1
// when it is neither.
long long sectors_of(const std::string& word, std::uint32_t sector_size)
{
    int m = 0, s = 0, f = 0;
    char tail = 0;
    if (std::sscanf(word.c_str(), "%d:%d:%d%c", &m, &s, &f, &tail) == 3 && m >= 0 && s >= 0 && s < 60 && f >= 0 &&
        f < 75)
        return (m * 60LL + s) * 75 + f;
    char* end = nullptr;
    long long bytes = std::strtoll(word.c_str(), &end, 10);
    if (end && *end == '\0' && bytes >= 0)
        return bytes / sector_size;
    return -1;
}

}  // namespace

TocSheet parse_toc(std::string_view text)
{
    TocSheet sheet;
    Words words{text};
    std::string word;
    std::uint32_t sector_size = 2352;
    auto refuse = [&sheet](std::string why) {
        if (sheet.unsupported.empty())
            sheet.unsupported = std::move(why);
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
            sector_size = word == "MODE2_RAW" ? 2352 : word == "MODE2_FORM_MIX" || word == "MODE2" ? 2336 : 0;
            if (sector_size == 0)
                refuse("track " + std::to_string(sheet.tracks) + " is " + word + ", not a Mode 2 track");
        } else if (word == "DATAFILE" || word == "FILE" || word == "AUDIOFILE") {
            bool data = word == "DATAFILE";
            TocPiece piece;
            piece.sector_size = sector_size ? sector_size : 2352;
            piece.track = sheet.tracks;
            if (!words.next(piece.file) || !words.quoted) {
                refuse("a " + word + " line without a file name");
                break;
            }
            std::size_t saved = words.at;
            std::string more;
            if (words.next(more) && !words.quoted && more.starts_with('#'))
                piece.offset = std::strtoull(more.c_str() + 1, nullptr, 10);
            else
                words.at = saved;
            if (!data) {
                // FILE "name" start [length]: the start is in the file, as a time.
                std::string start;
                if (!words.next(start) || sectors_of(start, piece.sector_size) < 0) {
                    refuse("a FILE line without its start");
                    break;
                }
                piece.offset += static_cast<std::uint64_t>(sectors_of(start, piece.sector_size)) * piece.sector_size;
            }
            if (words.peek_is_length()) {
                words.next(word);
                long long n = sectors_of(word, piece.sector_size);
                if (n <= 0 || n > 0xFFFFFFFFLL) {
                    refuse("a length of " + word);
                    break;
                }
                piece.sectors = static_cast<std::uint32_t>(n);
            } else if (!data) {
                refuse("a FILE line without a length");
            }
            if (sheet.tracks == 0)
                refuse("data before the first TRACK line");
            sheet.pieces.push_back(std::move(piece));
        } else if (word == "ZERO" || word == "SILENCE" || word == "PREGAP" || word == "FIFO") {
            refuse("a stretch of " + word + " that no file holds");
        }
    }
    if (sheet.pieces.empty())
        refuse("no data file");
    return sheet;
}

namespace {

constexpr const char* toc_file_failed_text = "%s, named in the TOC file, could not be opened.\n";
constexpr const char* toc_piece_outside_text = "The TOC file reads %s from byte %llu on, past its end.\n";

}  // namespace

// A TOC whose tracks are Mode 2 runs of data files is read the fast way,
// like a CUE sheet; any other goes to libcdio.
DiscImage open_toc_image(const std::string& name)
{
    TocSheet sheet = parse_toc(read_sheet_text(name));
    if (!sheet.unsupported.empty()) {
        std::optional<DiscImage> image = open_cdio_image(name, CdioKind::toc);
        if (!image)
            refuse_image(name, toc_format, sheet.unsupported);
        return std::move(*image);
    }
    DiscImage image;
    for (const TocPiece& piece : sheet.pieces) {
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
        if (!add_image_run(image, file, image.sectors, piece.sectors, piece.offset, piece.sector_size)) {
            say(toc_piece_outside_text, piece.file.c_str(), static_cast<unsigned long long>(piece.offset));
            end_run(1);
        }
        if (image.tracks.empty() || image.tracks.back().number != static_cast<int>(piece.track))
            image.tracks.push_back({static_cast<int>(piece.track), image.runs.back().first_lsn, TrackMode::mode2});
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
