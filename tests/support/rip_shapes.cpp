#include "rip_shapes.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>

namespace fs = std::filesystem;

namespace {

std::uint32_t sectors_of(const fs::path& bin)
{
    return static_cast<std::uint32_t>(fs::file_size(bin) / 2352);
}

void write_file(const fs::path& path, const Bytes& bytes)
{
    if (!std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::ssize(bytes)))
        throw std::runtime_error("cannot write " + path.string());
}

// Sectors 0 to end of the BIN (all of them when end is 0), each stored as
// sector_size bytes.
void copy_sectors(const fs::path& bin, const fs::path& out, std::uint32_t sector_size, std::uint32_t end = 0)
{
    std::ifstream in(bin, std::ios::binary);
    std::ofstream to(out, std::ios::binary);
    auto write = [&to](const std::uint8_t* from, std::size_t n) {
        to.write(reinterpret_cast<const char*>(from), static_cast<std::streamsize>(n));
    };
    Bytes sector(2352);
    for (std::uint32_t lsn = 0; (end == 0 || lsn < end) && in.read(reinterpret_cast<char*>(sector.data()), 2352); ++lsn) {
        std::size_t from = sector_size == 2336 ? 16 : sector_size == 2048 ? 24 : 0;
        write(sector.data() + from, sector_size == 2448 ? 2352 : sector_size);
        if (sector_size == 2448)
            write(subchannel_pattern(lsn).data(), 96);
    }
    if ((!in.eof() && !in) || !to.flush())
        throw std::runtime_error("cannot copy " + bin.string() + " to " + out.string());
}

// Where each track ends: the next one's start, the last one's the BIN's end.
std::uint32_t end_of(const std::vector<TrackStart>& tracks, std::size_t i, std::uint32_t lead_out)
{
    return i + 1 < tracks.size() ? tracks[i + 1].first_lsn : lead_out;
}

void put(Bytes& b, std::size_t at, std::uint64_t value, int n)
{
    for (int i = 0; i < n; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

Bytes subchannel_pattern(std::uint32_t lsn)
{
    Bytes b(96);
    for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<std::uint8_t>(lsn + 7 * i);
    return b;
}

void write_clonecd_rip(const fs::path& bin, const std::vector<TrackStart>& tracks, const fs::path& base)
{
    std::uint32_t lead_out = sectors_of(bin);
    std::string ccd = "[CloneCD]\r\nVersion=3\r\n[Disc]\r\nTocEntries=" + std::to_string(tracks.size() + 3) +
                      "\r\nSessions=1\r\nDataTracksScrambled=0\r\nCDTextLength=0\r\n"
                      "[Session 1]\r\nPreGapMode=2\r\nPreGapSubC=0\r\n";
    int entry = 0;
    auto add_entry = [&](int point, int control, std::uint32_t m, std::uint32_t s, std::uint32_t f) {
        char text[300];
        std::snprintf(text, sizeof text,
                      "[Entry %d]\r\nSession=1\r\nPoint=0x%02x\r\nADR=0x01\r\nControl=0x%02x\r\nTrackNo=0\r\nAMin=0\r\n"
                      "ASec=0\r\nAFrame=0\r\nALBA=-150\r\nZero=0\r\nPMin=%u\r\nPSec=%u\r\nPFrame=%u\r\nPLBA=%d\r\n",
                      entry++, point, control, m, s, f, static_cast<int>((m * 60 + s) * 75 + f) - 150);
        ccd += text;
    };
    auto add_msf = [&](int point, int control, std::uint32_t lsn) {
        add_entry(point, control, (lsn + 150) / 4500, (lsn + 150) / 75 % 60, (lsn + 150) % 75);
    };
    int first_control = tracks.front().mode == TrackMode::audio ? 0 : 4;
    add_entry(0xA0, first_control, static_cast<std::uint32_t>(tracks.front().number), 0x20, 0);  // 0x20: CD-ROM XA
    add_entry(0xA1, first_control, static_cast<std::uint32_t>(tracks.back().number), 0, 0);
    add_msf(0xA2, first_control, lead_out);
    for (const TrackStart& t : tracks)
        add_msf(t.number, t.mode == TrackMode::audio ? 0 : 4, t.first_lsn);
    for (const TrackStart& t : tracks)
        ccd += "[TRACK " + std::to_string(t.number) + "]\r\nMODE=" +
               (t.mode == TrackMode::audio ? "0" : t.mode == TrackMode::mode1 ? "1" : "2") + "\r\nINDEX 1=" +
               std::to_string(t.first_lsn) + "\r\n";
    write_file(base.string() + ".ccd", Bytes(ccd.begin(), ccd.end()));
    copy_sectors(bin, base.string() + ".img", 2352);
    write_file(base.string() + ".sub", Bytes(std::size_t{lead_out} * 96, 0));
}

void write_alcohol_rip(const fs::path& bin, const std::vector<TrackStart>& tracks, const fs::path& base,
                       std::uint32_t sector_size)
{
    const std::uint32_t lead_out = sectors_of(bin);
    const std::size_t n = tracks.size(), blocks = n + 3, session_at = 88, blocks_at = session_at + 24,
                      extras_at = blocks_at + 80 * blocks, footer_at = extras_at + 8 * n, name_at = footer_at + 16;
    Bytes mds(name_at + 6, 0);
    std::memcpy(mds.data(), "MEDIA DESCRIPTOR\x01\x03", 18);
    put(mds, 20, 1, 2);  // one session, of a CD-ROM (medium type 0)
    put(mds, 80, session_at, 4);
    put(mds, session_at, static_cast<std::uint32_t>(-150), 4);
    put(mds, session_at + 4, lead_out, 4);
    put(mds, session_at + 8, 1, 2);
    put(mds, session_at + 10, blocks, 1);
    put(mds, session_at + 11, 3, 1);
    put(mds, session_at + 12, static_cast<std::uint64_t>(tracks.front().number), 2);
    put(mds, session_at + 14, static_cast<std::uint64_t>(tracks.back().number), 2);
    put(mds, session_at + 20, blocks_at, 4);
    for (std::size_t i = 0; i < blocks; ++i) {
        std::size_t at = blocks_at + 80 * i;
        if (i < 3) {
            // First track, last track (as minutes; the first's seconds say CD-ROM XA), lead-out.
            std::uint32_t a = lead_out + 150;
            put(mds, at + 4, 0xA0 + i, 1);
            int first_or_last = (i == 0 ? tracks.front() : tracks.back()).number;
            put(mds, at + 9, i == 2 ? a / 4500 : static_cast<std::uint32_t>(first_or_last), 1);
            put(mds, at + 10, i == 0 ? 0x20 : i == 2 ? a / 75 % 60 : 0, 1);
            put(mds, at + 11, i == 2 ? a % 75 : 0, 1);
            continue;
        }
        const TrackStart& t = tracks[i - 3];
        std::uint32_t a = t.first_lsn + 150;
        put(mds, at, t.mode == TrackMode::audio ? 0xA9 : t.mode == TrackMode::mode1 ? 0xAA : 0xAB, 1);
        put(mds, at + 1, sector_size == 2448 ? 8 : 0, 1);
        put(mds, at + 2, t.mode == TrackMode::audio ? 0x10 : 0x14, 1);
        put(mds, at + 4, static_cast<std::uint64_t>(t.number), 1);
        put(mds, at + 9, a / 4500 + a / 75 % 60 * 256 + a % 75 * 65536, 3);  // minute, second, frame
        put(mds, at + 12, extras_at + 8 * (i - 3), 4);
        put(mds, at + 16, sector_size, 2);
        put(mds, at + 36, t.first_lsn, 4);
        put(mds, at + 40, std::uint64_t{t.first_lsn} * sector_size, 8);
        put(mds, at + 48, 1, 4);
        put(mds, at + 52, footer_at, 4);
        put(mds, extras_at + 8 * (i - 3), i == 3 ? 150 : 0, 4);
        put(mds, extras_at + 8 * (i - 3) + 4, end_of(tracks, i - 3, lead_out) - t.first_lsn, 4);
    }
    put(mds, footer_at, name_at, 4);
    std::memcpy(mds.data() + name_at, "*.mdf", 6);
    write_file(base.string() + ".mds", mds);
    copy_sectors(bin, base.string() + ".mdf", sector_size);
}

void write_bare_rip(const fs::path& bin, const std::vector<TrackStart>& tracks, const fs::path& out,
                    std::uint32_t sector_size)
{
    copy_sectors(bin, out, sector_size, sector_size == 2048 ? end_of(tracks, 0, sectors_of(bin)) : 0);
}

std::string layout_text(const TrackLayout& layout)
{
    std::string text;
    for (const TrackStart& t : layout.tracks)
        text += std::to_string(t.number) + "@" + std::to_string(t.first_lsn) + ":" + "a12?"[static_cast<int>(t.mode)] + " ";
    text += "|";
    for (const ImageRun& r : layout.runs)
        text.append(" ").append(std::to_string(r.first_lsn)).append("+").append(std::to_string(r.sectors))
            .append("@").append(std::to_string(r.offset)).append("/").append(std::to_string(r.sector_size));
    return text;
}
