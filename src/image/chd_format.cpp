#include "image/chd_format.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>

namespace {

constexpr const char* unsound_map_text = "its hunk map is not sound";
constexpr const char* needs_parent_text = "it needs a parent CHD";

constexpr std::uint32_t chd_version = 5;
constexpr std::size_t map_head_size = 16;
constexpr std::uint32_t max_hunk_bytes = 1u << 20;
constexpr std::uint32_t track_padding = 4;

std::uint64_t big_endian(const std::uint8_t* p, int bytes)
{
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value << 8 | p[i];
    return value;
}

// Bits read most significant first; past the end they are zero.
struct BitReader {
    std::span<const std::uint8_t> bytes;
    std::uint64_t bit = 0;
    bool overrun = false;

    std::uint32_t peek(int count) const
    {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i) {
            std::uint64_t at = bit + i;
            int b = at / 8 < bytes.size() ? (bytes[at / 8] >> (7 - at % 8)) & 1 : 0;
            value = value << 1 | b;
        }
        return value;
    }
    std::uint32_t read(int count)
    {
        std::uint32_t value = peek(count);
        bit += count;
        overrun = overrun || bit > bytes.size() * 8;
        return value;
    }
};

// The map's Huffman code: 16 symbols, codes of at most 8 bits, sent as
// their lengths in 4 bits each, a 1 escaping either a length of 1 or a
// run of one length (its count less 3).
constexpr int symbols = 16, max_bits = 8;
struct HuffmanCode {
    std::array<std::uint16_t, 1 << max_bits> lookup{};  // symbol << 4 | length
};

std::optional<HuffmanCode> read_huffman(BitReader& in)
{
    std::array<int, symbols> lengths{};
    for (int s = 0; s < symbols;) {
        int bits = static_cast<int>(in.read(4));
        if (bits != 1) {
            lengths[s++] = bits;
            continue;
        }
        bits = static_cast<int>(in.read(4));
        if (bits == 1) {
            lengths[s++] = 1;
            continue;
        }
        int count = static_cast<int>(in.read(4)) + 3;
        if (count > symbols - s)
            return std::nullopt;
        while (count--)
            lengths[s++] = bits;
    }
    // Canonical codes, the longest first: each length's first code follows
    // from how many codes are longer.
    std::array<std::uint32_t, 33> first{};
    for (int len : lengths)
        if (len > max_bits)
            return std::nullopt;
        else
            ++first[len];
    std::uint32_t start = 0;
    for (int len = 32; len > 0; --len) {
        std::uint32_t next = (start + first[len]) >> 1;
        if (len != 1 && next * 2 != start + first[len])
            return std::nullopt;
        first[len] = start;
        start = next;
    }
    HuffmanCode code;
    for (int s = 0; s < symbols; ++s) {
        int len = lengths[s];
        if (len == 0)
            continue;
        std::uint32_t c = first[len]++;
        std::uint32_t from = c << (max_bits - len), to = (c + 1) << (max_bits - len);
        if (to > code.lookup.size())
            return std::nullopt;
        for (std::uint32_t i = from; i < to; ++i)
            code.lookup[i] = static_cast<std::uint16_t>(s << 4 | len);
    }
    return code;
}

int decode_symbol(const HuffmanCode& code, BitReader& in)
{
    std::uint16_t entry = code.lookup[in.peek(max_bits)];
    in.read(std::max(entry & 0xF, 1));
    return entry >> 4;
}

// The compression types the coded map uses.
enum : int {
    type_codec0 = 0, type_codec3 = 3, type_none = 4, type_self = 5, type_parent = 6, type_rle_small = 7,
    type_rle_large = 8, type_self0 = 9, type_self1 = 10, type_parent_self = 11, type_parent0 = 12, type_parent1 = 13,
};

std::string parse_compressed_map(std::span<const std::uint8_t> map, const ChdHeader& header,
                                 std::vector<HunkEntry>& entries)
{
    const std::uint64_t coded = big_endian(map.data(), 4);
    std::uint64_t offset = big_endian(map.data() + 4, 6);
    const std::uint16_t want_crc = static_cast<std::uint16_t>(big_endian(map.data() + 10, 2));
    const int length_bits = map[12], self_bits = map[13];
    if (length_bits > 32 || self_bits > 32 || coded > map.size() - map_head_size)
        return unsound_map_text;
    BitReader in{map.subspan(map_head_size, static_cast<std::size_t>(coded))};
    std::optional<HuffmanCode> code = read_huffman(in);
    if (!code)
        return "its hunk map's code is not sound";
    std::vector<int> types(header.hunks);
    int last = 0;
    for (std::uint32_t h = 0, repeat = 0; h < header.hunks; ++h) {
        if (repeat > 0) {
            types[h] = last;
            --repeat;
            continue;
        }
        int type = decode_symbol(*code, in);
        if (type == type_rle_small) {
            repeat = 2 + decode_symbol(*code, in);
        } else if (type == type_rle_large) {
            repeat = 2 + 16 + (decode_symbol(*code, in) << 4);
            repeat += decode_symbol(*code, in);
        } else {
            last = type;
        }
        types[h] = last;
    }
    // The entries as the map's CRC covers them: 12 bytes each, the type,
    // a 24-bit length, a 48-bit offset and the hunk's CRC.
    std::vector<std::uint8_t> raw(std::size_t{header.hunks} * 12);
    std::uint64_t last_self = 0;
    entries.assign(header.hunks, {});
    for (std::uint32_t h = 0; h < header.hunks; ++h) {
        HunkEntry& e = entries[h];
        int type = types[h];
        std::uint64_t at = offset;
        std::uint32_t length = 0;
        std::uint16_t crc = 0;
        if (type >= type_codec0 && type <= type_codec3) {
            length = in.read(length_bits);
            crc = static_cast<std::uint16_t>(in.read(16));
            offset += length;
            e.store = static_cast<HunkStore>(type);
        } else if (type == type_none) {
            length = header.hunk_bytes;
            crc = static_cast<std::uint16_t>(in.read(16));
            offset += length;
            e.store = HunkStore::plain;
        } else if (type == type_self || type == type_self0 || type == type_self1) {
            if (type == type_self)
                last_self = in.read(self_bits);
            else if (type == type_self1)
                ++last_self;
            at = last_self;
            type = type_self;
            e.store = HunkStore::copy;
        } else if (type == type_parent || (type >= type_parent_self && type <= type_parent1)) {
            return needs_parent_text;
        } else {
            return unsound_map_text;
        }
        e.length = length;
        e.offset = at;
        e.crc = crc;
        std::uint8_t* r = raw.data() + std::size_t{h} * 12;
        r[0] = static_cast<std::uint8_t>(type);
        for (int i = 0; i < 3; ++i)
            r[1 + i] = static_cast<std::uint8_t>(length >> (16 - 8 * i));
        for (int i = 0; i < 6; ++i)
            r[4 + i] = static_cast<std::uint8_t>(at >> (40 - 8 * i));
        r[10] = static_cast<std::uint8_t>(crc >> 8);
        r[11] = static_cast<std::uint8_t>(crc);
    }
    if (in.overrun || chd_crc16(raw) != want_crc)
        return "its hunk map fails its CRC";
    return {};
}

}  // namespace

namespace {

// crc_tables[k][b]: the CRC of byte b followed by k zero bytes, so that
// eight lookups carry eight bytes at once.
constexpr std::array<std::array<std::uint16_t, 256>, 8> make_crc_tables()
{
    std::array<std::array<std::uint16_t, 256>, 8> t{};
    for (unsigned b = 0; b < 256; ++b) {
        unsigned crc = b << 8;
        for (int i = 0; i < 8; ++i)
            crc = (crc << 1) ^ ((crc & 0x8000) ? 0x1021 : 0);
        t[0][b] = static_cast<std::uint16_t>(crc);
    }
    for (std::size_t k = 1; k < t.size(); ++k)
        for (unsigned b = 0; b < 256; ++b)
            t[k][b] = static_cast<std::uint16_t>(t[k - 1][b] << 8 ^ t[0][t[k - 1][b] >> 8]);
    return t;
}
constexpr auto crc_tables = make_crc_tables();

}  // namespace

std::uint16_t chd_crc16(std::span<const std::uint8_t> bytes)
{
    const auto& t = crc_tables;
    unsigned crc = 0xFFFF;
    const std::uint8_t* p = bytes.data();
    std::size_t n = bytes.size();
    for (; n >= 8; p += 8, n -= 8) {
        crc ^= unsigned{p[0]} << 8 | p[1];
        crc = t[7][crc >> 8] ^ t[6][crc & 0xFF] ^ t[5][p[2]] ^ t[4][p[3]] ^ t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^
              t[0][p[7]];
    }
    for (; n > 0; ++p, --n)
        crc = (crc << 8 & 0xFFFF) ^ t[0][(crc >> 8) ^ *p];
    return static_cast<std::uint16_t>(crc);
}

std::string parse_chd_header(std::span<const std::uint8_t> head, std::uint64_t file_size, ChdHeader& header)
{
    if (head.size() < 16 || std::memcmp(head.data(), "MComprHD", 8) != 0)
        return "it does not start with a CHD header";
    const std::uint64_t version = big_endian(head.data() + 12, 4);
    if (version != chd_version)
        return "it is a version " + std::to_string(version) + " CHD; only version 5 is read";
    if (head.size() < chd_header_size || big_endian(head.data() + 8, 4) != chd_header_size)
        return "its header is cut short";
    for (int i = 0; i < 4; ++i)
        header.codecs[i] = static_cast<std::uint32_t>(big_endian(head.data() + 16 + 4 * i, 4));
    header.logical_bytes = big_endian(head.data() + 32, 8);
    header.map_offset = big_endian(head.data() + 40, 8);
    header.meta_offset = big_endian(head.data() + 48, 8);
    header.hunk_bytes = static_cast<std::uint32_t>(big_endian(head.data() + 56, 4));
    header.unit_bytes = static_cast<std::uint32_t>(big_endian(head.data() + 60, 4));
    const std::uint8_t* parent = head.data() + 104;
    if (std::any_of(parent, parent + 20, [](std::uint8_t b) { return b != 0; }))
        return needs_parent_text;
    if (header.unit_bytes != chd_frame_size || header.hunk_bytes == 0 || header.hunk_bytes % chd_frame_size != 0 ||
        header.hunk_bytes > max_hunk_bytes)
        return "its hunks are not made of CD frames";
    // A CD of over 4 GiB of frames is none this program reads.
    if (header.logical_bytes == 0 || header.logical_bytes > 0xFFFFFFFFull / chd_sector_bytes * chd_frame_size)
        return "it holds " + std::to_string(header.logical_bytes) + " bytes, no CD";
    header.hunks = static_cast<std::uint32_t>((header.logical_bytes + header.hunk_bytes - 1) / header.hunk_bytes);
    if (header.map_offset < chd_header_size || header.map_offset >= file_size)
        return chd_map_past_end_text;
    return {};
}

std::uint64_t chd_map_bytes_wanted(const ChdHeader& header, std::span<const std::uint8_t> map_head)
{
    if (header.codecs[0] == 0)
        return std::uint64_t{header.hunks} * 4;
    if (map_head.size() < map_head_size)
        return map_head_size;
    return map_head_size + big_endian(map_head.data(), 4);
}

std::string parse_chd_map(std::span<const std::uint8_t> map, const ChdHeader& header, std::uint64_t file_size,
                          std::vector<HunkEntry>& entries)
{
    if (map.size() < chd_map_bytes_wanted(header, map))
        return "its hunk map is cut short";
    if (header.codecs[0] == 0) {
        entries.assign(header.hunks, {});
        for (std::uint32_t h = 0; h < header.hunks; ++h) {
            HunkEntry& e = entries[h];
            e.offset = big_endian(map.data() + 4 * std::size_t{h}, 4) * header.hunk_bytes;
            e.length = header.hunk_bytes;
            e.zeros = e.offset == 0;
        }
    } else if (std::string error = parse_compressed_map(map, header, entries); !error.empty()) {
        return error;
    }
    for (std::uint32_t h = 0; h < header.hunks; ++h) {
        HunkEntry& e = entries[h];
        if (e.store == HunkStore::copy) {
            // Copies name an earlier hunk, itself resolved already.
            if (e.offset >= h)
                return "hunk " + std::to_string(h) + " copies a hunk that does not come before it";
            e = entries[static_cast<std::size_t>(e.offset)];
            continue;
        }
        if (e.store != HunkStore::plain && header.codecs[static_cast<int>(e.store)] == 0)
            return "hunk " + std::to_string(h) + " names a codec the header does not list";
        // A writer keeps a hunk its codec would make longer as it is.
        if ((e.store == HunkStore::plain && e.length != header.hunk_bytes) || e.length > header.hunk_bytes)
            return "hunk " + std::to_string(h) + " is stored at the wrong length";
        if (!e.zeros && (e.offset > file_size || e.length > file_size - e.offset))
            return "hunk " + std::to_string(h) + " lies past its end";
    }
    return {};
}

namespace {

struct TrackType {
    std::string_view name;
    std::uint32_t size;
    TrackMode mode;
};
constexpr TrackType track_types[] = {
    {"MODE1_RAW", 2352, TrackMode::mode1}, {"MODE1", 2048, TrackMode::mode1},
    {"MODE2_RAW", 2352, TrackMode::mode2}, {"MODE2_FORM_MIX", 2336, TrackMode::mode2},
    {"MODE2", 2336, TrackMode::mode2},     {"MODE2_FORM1", 2048, TrackMode::mode2},
    {"AUDIO", 2352, TrackMode::audio},
};

// "KEY:value KEY:value ..." into its fields.
std::map<std::string, std::string, std::less<>> fields_of(std::string_view text)
{
    std::map<std::string, std::string, std::less<>> fields;
    text = text.substr(0, text.find('\0'));
    while (!text.empty()) {
        std::size_t space = text.find(' ');
        std::string_view word = text.substr(0, space);
        text = space == std::string_view::npos ? std::string_view{} : text.substr(space + 1);
        std::size_t colon = word.find(':');
        if (colon != std::string_view::npos)
            fields.emplace(word.substr(0, colon), word.substr(colon + 1));
    }
    return fields;
}

std::optional<std::uint32_t> number_of(const std::string& text)
{
    if (text.empty() || text.size() > 7 || !std::all_of(text.begin(), text.end(), [](char c) {
            return c >= '0' && c <= '9';
        }))
        return std::nullopt;
    return static_cast<std::uint32_t>(std::stoul(text));
}

}  // namespace

ChdLayout chd_layout(const std::vector<std::string>& track_texts)
{
    ChdLayout out;
    TrackLayout& layout = out.layout;
    std::uint64_t frame = 0, lsn = 0, at = 0;
    for (const std::string& text : track_texts) {
        auto f = fields_of(text);
        const std::string number = std::to_string(layout.tracks.size() + 1);
        std::optional<std::uint32_t> track = number_of(f["TRACK"]), frames = number_of(f["FRAMES"]);
        std::optional<std::uint32_t> pregap = f.count("PREGAP") ? number_of(f["PREGAP"]) : 0u;
        const TrackType* type = nullptr;
        for (const TrackType& t : track_types)
            if (t.name == f["TYPE"])
                type = &t;
        if (!track || *track != layout.tracks.size() + 1 || !frames || *frames == 0 || !pregap) {
            layout.error = "its track " + number + " is not described soundly";
        } else if (!type) {
            layout.error = "its track " + number + " is of type " + f["TYPE"].substr(0, 20) + ", which no Video CD has";
        } else if (f["SUBTYPE"] != "NONE" && f["SUBTYPE"] != "RW" && f["SUBTYPE"] != "RW_RAW") {
            layout.error = "its track " + number + " has subchannel of type " + f["SUBTYPE"].substr(0, 20);
        } else if (layout.tracks.size() == 99) {
            layout.error = "it holds more than 99 tracks";
        }
        if (!layout.error.empty())
            break;
        bool subchannel = f["SUBTYPE"] != "NONE";
        std::uint32_t size = type->size == chd_sector_bytes && subchannel ? chd_frame_size : type->size;
        // A pregap whose type starts with V is stored with the track, and the
        // track starts there as a CUE sheet's INDEX 00 starts it; any other
        // is on the disc only, not in the image it was made from.
        std::uint32_t stored_pregap = f["PGTYPE"].starts_with("V") ? *pregap : 0;
        if (stored_pregap >= *frames) {
            layout.error = "its track " + number + " has a pregap as long as the track";
            break;
        }
        out.regions.push_back({frame, *frames, size, type->mode == TrackMode::audio, at});
        layout.runs.push_back({static_cast<std::uint32_t>(lsn), *frames, at, size});
        layout.tracks.push_back(
            {static_cast<int>(*track), static_cast<std::uint32_t>(lsn), type->mode, stored_pregap, stored_pregap > 0});
        frame += (*frames + track_padding - 1) / track_padding * track_padding;
        lsn += *frames;
        at += std::uint64_t{*frames} * size;
        if (lsn > 0xFFFFFFFFull / chd_sector_bytes) {
            layout.error = "it holds more sectors than a CD";
            break;
        }
    }
    if (layout.error.empty() && layout.tracks.empty())
        layout.error = "it lists no track";
    if (!layout.error.empty()) {
        out.regions.clear();
        layout.runs.clear();
        layout.tracks.clear();
    }
    out.frames = frame;
    return out;
}
