#include "cue_fixtures.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

std::string msf(int sector)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", sector / 4500, sector / 75 % 60, sector % 75);
    return text;
}

TableRow raw_row(int sector, std::uint64_t end)
{
    return {sector / 4500, sector / 75 % 60, sector % 75, 2352, 2352ull * static_cast<unsigned>(sector), end};
}

std::string table_text(const std::vector<TableRow>& rows)
{
    std::string out = " Track #     mm:ss.ff     Sector Size          LBA Start        LBA End    \n";
    char line[160];
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TableRow& r = rows[i];
        std::snprintf(line, sizeof line, "    %d        %.2d:%.2d.%.2d     %.4d bytes/sector    %9llu      %9llu\n",
                      static_cast<int>(i), r.minutes, r.seconds, r.frames, static_cast<int>(r.sector_size),
                      static_cast<unsigned long long>(r.start), static_cast<unsigned long long>(r.end));
        out += line;
    }
    return out + "\n";
}

std::string cue_header(const std::string& mode, const std::string& cue, const std::string& out)
{
    std::string destination = mode == "cue2raw" ? "RAW image destination --> "
                               : mode == "cue2dat" ? "VCD DAT destination --> "
                                                   : "MPEG destination --> ";
    return "CUE source --> " + cue + "\n" + destination + out + "\nExtraction method --> " + mode + "\n";
}

std::string vcd_sheet(const std::string& bin, const std::vector<int>& starts, const std::string& type,
                      const std::string& eol)
{
    std::string sheet = "FILE " + bin + " BINARY" + eol;
    char number[8];
    for (std::size_t i = 0; i < starts.size(); ++i) {
        std::snprintf(number, sizeof number, "%02d", static_cast<int>(i + 1));
        sheet += std::string("  TRACK ") + number + " " + type + eol + "    INDEX 01 " + msf(starts[i]) + eol;
    }
    return sheet;
}

Bytes data_sectors(std::size_t n, std::uint32_t first_lba)
{
    return raw_track(zeros(n * block_size), first_lba);
}

Bytes mode1_sectors(const Bytes& user_data)
{
    Bytes out;
    for (std::size_t at = 0; at < user_data.size(); at += 2048) {
        Bytes s(sector_bytes, 0);
        put_bytes(s, 0, {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x02, 0x00, 0x01});
        Bytes user = slice(user_data, at, 2048);
        std::copy(user.begin(), user.end(), s.begin() + 16);
        out.insert(out.end(), s.begin(), s.end());
    }
    return out;
}

void make_sparse(const Scratch& s, const std::string& name, std::uint64_t size)
{
    int fd = ::open(s.path(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) != 0)
        throw std::runtime_error("cannot make sparse file " + name);
    ::close(fd);
}

std::string track_writing(int t)
{
    return "\xfe                 Track " + std::to_string(t) + " -> writing...\r";
}

std::string track_searching(int t)
{
    return "\xfe                 Track " + std::to_string(t) + " -> searching \r";
}
