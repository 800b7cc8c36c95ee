#include "modes/redump_dat.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <expat.h>

#include "io/report.h"
#include "io/text.h"

namespace {

constexpr const char* unopenable_text = "it could not be opened";
constexpr const char* unreadable_text = "it could not be read";
constexpr const char* xml_error_text = "%s at line %lu";
constexpr const char* not_datafile_text = "its root is <%s>, not <datafile>";

struct DatParse {
    DatFile* dat;
    int depth = 0;
    bool in_game = false;
    std::string root;
};

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), ascii_lower);
    return text;
}

void XMLCALL element_start(void* data, const XML_Char* element, const XML_Char** attributes)
{
    DatParse& p = *static_cast<DatParse*>(data);
    std::string_view name = element;
    if (p.depth++ == 0)
        p.root = element;
    // <machine> is what newer Logiqx DATs call a game.
    if (p.depth == 2 && p.root == "datafile" && (name == "game" || name == "machine")) {
        p.dat->games.emplace_back();
        for (const XML_Char** a = attributes; *a; a += 2)
            if (std::string_view(a[0]) == "name")
                p.dat->games.back().name = a[1];
        p.in_game = true;
    } else if (p.in_game && p.depth == 3 && name == "rom") {
        DatRom rom;
        bool bin = false;
        for (const XML_Char** a = attributes; *a; a += 2) {
            std::string_view key = a[0];
            if (key == "name")
                bin = ends_folded(a[1], ".bin");
            else if (key == "size" && *a[1])
                rom.size = std::strtoull(a[1], nullptr, 10);
            else if (key == "crc")
                rom.crc = lower(a[1]);
            else if (key == "md5")
                rom.md5 = lower(a[1]);
            else if (key == "sha1")
                rom.sha1 = lower(a[1]);
        }
        if (bin)
            p.dat->games.back().bins.push_back(rom);
    }
}

void XMLCALL element_end(void* data, const XML_Char*)
{
    DatParse& p = *static_cast<DatParse*>(data);
    if (--p.depth == 1)
        p.in_game = false;
}

bool same_file(const DatRom& rom, const RomHashes& track)
{
    auto same = [](const std::string& given, const std::string& ours) { return given.empty() || given == ours; };
    return rom.size == track.size && same(rom.crc, formatted("%08x", static_cast<unsigned>(track.crc))) &&
           same(rom.md5, lower_hex(track.md5)) && same(rom.sha1, lower_hex(track.sha1));
}

}  // namespace

DatFile read_dat(const std::string& path)
{
    DatFile dat;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        dat.error = unopenable_text;
        return dat;
    }
    std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)> parser(XML_ParserCreate(nullptr), XML_ParserFree);
    DatParse parse{&dat, 0, false, {}};
    XML_SetUserData(parser.get(), &parse);
    XML_SetElementHandler(parser.get(), element_start, element_end);
    std::vector<char> block(1 << 16);
    for (bool last = false; !last && dat.error.empty();) {
        std::size_t n = std::fread(block.data(), 1, block.size(), file);
        last = n < block.size();
        if (last && std::ferror(file))
            dat.error = unreadable_text;
        else if (XML_Parse(parser.get(), block.data(), static_cast<int>(n), last) == XML_STATUS_ERROR)
            dat.error = formatted(xml_error_text, XML_ErrorString(XML_GetErrorCode(parser.get())),
                                  static_cast<unsigned long>(XML_GetCurrentLineNumber(parser.get())));
    }
    std::fclose(file);
    if (dat.error.empty() && parse.root != "datafile")
        dat.error = formatted(not_datafile_text, parse.root.c_str());
    if (!dat.error.empty())
        dat.games.clear();
    return dat;
}

DatVerdict match_dat(std::span<const DatGame> games, std::span<const RomHashes> tracks)
{
    DatVerdict best;
    std::size_t best_same = 0;
    for (const DatGame& game : games) {
        DatVerdict v{&game, std::vector<bool>(tracks.size()), false};
        std::size_t same = 0;
        for (std::size_t t = 0; t < tracks.size(); ++t) {
            v.same[t] = std::any_of(game.bins.begin(), game.bins.end(),
                                    [&](const DatRom& rom) { return same_file(rom, tracks[t]); });
            same += v.same[t];
        }
        v.match = same == tracks.size() && game.bins.size() == tracks.size() &&
                  std::all_of(game.bins.begin(), game.bins.end(), [&](const DatRom& rom) {
                      return std::any_of(tracks.begin(), tracks.end(),
                                         [&](const RomHashes& t) { return same_file(rom, t); });
                  });
        if (v.match)
            return v;
        if (same > best_same) {
            best = v;
            best_same = same;
        }
    }
    return best;
}
