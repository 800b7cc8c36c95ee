#include "image/alcohol_descriptor.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "io/report.h"
#include "io/text.h"

namespace {

constexpr const char* no_signature_text = "it does not start with MEDIA DESCRIPTOR";
constexpr const char* past_end_text = "its %s lies past its end";
constexpr const char* dvd_text = "it describes a DVD, not a CD";
constexpr const char* medium_text = "it describes a medium of type %u, not a CD";
constexpr const char* no_session_text = "it describes no session";
constexpr const char* no_track_text = "it describes no track";
constexpr const char* missing_track_text = "it describes track %d but no track %d";
constexpr const char* described_twice_text = "it describes track %d twice";
constexpr const char* mode_text = "track %d has the mode 0x%02x, which no CD track has";
constexpr const char* sector_size_text = "track %d has %u-byte sectors; 2352 or 2448 were expected";
constexpr const char* file_count_text = "track %d lies in %u data files";
constexpr const char* no_file_text = "it names no data file";
constexpr const char* two_files_text = "its tracks lie in different data files";
constexpr const char* wide_name_text = "the name of its data file is not plain ASCII";
constexpr const char* absurd_text = "track %d lies at sectors %llu to %llu, where no CD has any";
constexpr const char* absurd_offset_text = "track %d lies at byte %llu of the data file, past the end of any CD";
constexpr const char* starts_before_text = "track %d starts before track %d ends";

constexpr char signature[] = "MEDIA DESCRIPTOR";
constexpr std::size_t header_size = 88, session_size = 24, block_size = 80, extra_size = 8, footer_size = 16;
constexpr unsigned first_dvd_medium = 0x10, last_cd_medium = 2;  // CD-ROM, CD-R, CD-RW
// Sector 450,000 is 100 minutes in: past the end of any CD.
constexpr std::uint64_t max_lsn = 450000;

struct Descriptor {
    std::span<const std::uint8_t> bytes;

    // Whether the n bytes from `at` on lie inside it.
    bool holds(std::uint64_t at, std::uint64_t n) const { return at <= bytes.size() && n <= bytes.size() - at; }
    // A little-endian number of n bytes at `at`, which holds() has checked.
    std::uint64_t number(std::uint64_t at, int n) const
    {
        std::uint64_t value = 0;
        for (int i = n - 1; i >= 0; --i)
            value = value << 8 | bytes[static_cast<std::size_t>(at) + static_cast<std::size_t>(i)];
        return value;
    }
};

// 0xA9 audio, 0xAA Mode 1, 0xAB Mode 2, 0xAC and 0xEC Mode 2 Form 1, 0xAD
// Mode 2 Form 2: the low four bits say the mode, the high ones are flags.
TrackMode mode_of(std::uint64_t byte)
{
    if ((byte & 0xF0) != 0xA0 && (byte & 0xF0) != 0xE0)
        return TrackMode::unknown;
    std::uint64_t low = byte & 0x0F;
    if (low == 0x9 || low == 0xA)
        return low == 0x9 ? TrackMode::audio : TrackMode::mode1;
    return low >= 0xB && low <= 0xD ? TrackMode::mode2 : TrackMode::unknown;
}

// The data file's name from a track's footer: bytes, or UTF-16LE of which
// only ASCII is taken.
std::string file_name(const Descriptor& mds, std::uint64_t footer, std::string& error)
{
    std::uint64_t at = mds.number(footer, 4);
    bool wide = mds.number(footer + 4, 4) != 0;
    std::uint64_t step = wide ? 2 : 1;
    std::string name;
    for (;; at += step) {
        if (!mds.holds(at, step)) {
            error = formatted(past_end_text, "data file's name");
            return {};
        }
        std::uint64_t c = mds.number(at, static_cast<int>(step));
        if (c == 0)
            return name;
        if (wide && c >= 0x80) {
            error = wide_name_text;
            return {};
        }
        name += static_cast<char>(c);
    }
}

// The footer's name is taken without its folder; "*.mdf" stands for the
// descriptor's own name with .mdf for its extension.
std::string data_file_of(std::string name, std::string_view mds_name)
{
    name.erase(0, name.find_last_of("/\\") + 1);
    if (!name.starts_with('*'))
        return name;
    mds_name.remove_prefix(mds_name.find_last_of("/\\") + 1);
    mds_name = mds_name.substr(0, mds_name.rfind('.'));
    return std::string(mds_name) + name.substr(1);
}

// Alcohol's start LBA is a track's index 1, and its first stored sector:
// the pregap in the extra block lies before it on the disc and is not held in
// the .mdf (150 for track 1, the two seconds before sector 0). A pregap of a
// later track is therefore a stretch of disc between two runs.
std::string read_descriptor(const Descriptor& mds, std::string_view mds_name, TrackLayout& layout)
{
    if (!mds.holds(0, sizeof signature - 1) || std::memcmp(mds.bytes.data(), signature, sizeof signature - 1) != 0)
        return no_signature_text;
    if (!mds.holds(0, header_size))
        return formatted(past_end_text, "header");
    auto medium = static_cast<unsigned>(mds.number(18, 2));
    if (medium >= first_dvd_medium)
        return dvd_text;
    if (medium > last_cd_medium)
        return formatted(medium_text, medium);
    std::uint64_t sessions = mds.number(20, 2), session_at = mds.number(80, 4);
    if (sessions == 0)
        return no_session_text;
    if (!mds.holds(session_at, sessions * session_size))
        return formatted(past_end_text, "list of sessions");

    std::map<int, ImageRun> runs;  // by track number
    std::string error;
    for (std::uint64_t s = session_at; s < session_at + sessions * session_size; s += session_size) {
        std::uint64_t blocks = mds.number(s + 10, 1), block_at = mds.number(s + 20, 4);
        auto session = static_cast<unsigned>(mds.number(s + 8, 2));
        if (!mds.holds(block_at, blocks * block_size))
            return formatted(past_end_text, formatted("list of tracks of session %u", session).c_str());
        for (std::uint64_t b = block_at; b < block_at + blocks * block_size; b += block_size) {
            auto point = static_cast<int>(mds.number(b + 4, 1));
            if (point < 1 || point > 99)
                continue;  // 0xA0 to 0xA2: the first and last track, the lead-out
            std::uint64_t mode = mds.number(b, 1), size = mds.number(b + 16, 2), extra = mds.number(b + 12, 4),
                          files = mds.number(b + 48, 4), footer = mds.number(b + 52, 4);
            if (runs.contains(point))
                return formatted(described_twice_text, point);
            if (mode_of(mode) == TrackMode::unknown)
                return formatted(mode_text, point, static_cast<unsigned>(mode));
            if (size != 2352 && size != 2448)
                return formatted(sector_size_text, point, static_cast<unsigned>(size));
            if (files > 1)
                return formatted(file_count_text, point, static_cast<unsigned>(files));
            if (extra != 0 && !mds.holds(extra, extra_size))
                return formatted(past_end_text, formatted("extra block of track %d", point).c_str());
            if (footer != 0 && !mds.holds(footer, footer_size))
                return formatted(past_end_text, formatted("footer of track %d", point).c_str());
            if (footer != 0) {
                std::string name = data_file_of(file_name(mds, footer, error), mds_name);
                if (!error.empty())
                    return error;
                if (!layout.data_file.empty() && name != layout.data_file)
                    return two_files_text;
                layout.data_file = name;
            }
            runs[point] = {static_cast<std::uint32_t>(mds.number(b + 36, 4)),
                           extra != 0 ? static_cast<std::uint32_t>(mds.number(extra + 4, 4)) : 0u, mds.number(b + 40, 8),
                           static_cast<std::uint32_t>(size)};
            layout.tracks.push_back({point, runs[point].first_lsn, mode_of(mode)});
        }
    }
    if (runs.empty())
        return no_track_text;
    if (layout.data_file.empty() || layout.data_file == "." || layout.data_file == "..")
        return no_file_text;

    std::sort(layout.tracks.begin(), layout.tracks.end(),
              [](const TrackStart& a, const TrackStart& b) { return a.number < b.number; });
    for (auto& [number, run] : runs) {
        ImageRun* before = layout.runs.empty() ? nullptr : &layout.runs.back();
        if (before && number != layout.tracks[layout.runs.size() - 1].number + 1)
            return formatted(missing_track_text, number, number - 1);
        if (before && run.first_lsn <= before->first_lsn)
            return formatted(starts_before_text, number, number - 1);
        // A track without an extra block is taken to reach the next one.
        if (before && before->sectors == 0)
            before->sectors = run.first_lsn - before->first_lsn;
        if (before && std::uint64_t{before->first_lsn} + before->sectors > run.first_lsn)
            return formatted(starts_before_text, number, number - 1);
        if (std::uint64_t{run.first_lsn} + run.sectors > max_lsn)
            return formatted(absurd_text, number, static_cast<unsigned long long>(run.first_lsn),
                             static_cast<unsigned long long>(run.first_lsn) + run.sectors);
        if (run.offset > max_lsn * 2448 - std::uint64_t{run.sectors} * run.sector_size)
            return formatted(absurd_offset_text, number, static_cast<unsigned long long>(run.offset));
        layout.runs.push_back(run);
    }
    return {};
}

}  // namespace

TrackLayout parse_alcohol_descriptor(std::span<const std::uint8_t> mds, std::string_view mds_name)
{
    TrackLayout layout;
    layout.error = read_descriptor({mds}, mds_name, layout);
    if (!layout.error.empty()) {
        layout.data_file.clear();
        layout.runs.clear();
        layout.tracks.clear();
    }
    return layout;
}

DiscImage open_alcohol_image(const std::string& name)
{
    std::string bytes = read_descriptor(name);
    TrackLayout layout = parse_alcohol_descriptor(
        {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, name);
    return open_described_image(name, alcohol_format, layout, layout.data_file);
}

namespace {

bool claims_alcohol(const ImageProbe& p)
{
    constexpr std::string_view signature = "MEDIA DESCRIPTOR";
    return std::string_view(reinterpret_cast<const char*>(p.head.data()), p.head.size()).starts_with(signature) ||
           ends_folded(p.name, ".mds");
}

}  // namespace

const ImageFormat alcohol_format{"an Alcohol image", ImageKind::described, claims_alcohol, open_alcohol_image};
