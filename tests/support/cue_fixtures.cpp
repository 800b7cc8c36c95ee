#include "cue_fixtures.h"

#include <cstdio>

#include "fixtures.h"

namespace cue {

Row raw_row(int sector, std::uint64_t end)
{
    return {sector / 4500, sector / 75 % 60, sector % 75, 2352, 2352ull * static_cast<unsigned>(sector), end};
}

std::string table(const std::vector<Row>& rows)
{
    std::string out = " Track #     mm:ss.ff     Sector Size          LBA Start        LBA End    \n";
    char line[160];
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        std::snprintf(line, sizeof line, "    %zu        %.2d:%.2d.%.2d     %.4u bytes/sector    %9llu      %9llu\n", i,
                      r.minutes, r.seconds, r.frames, r.sector_size, static_cast<unsigned long long>(r.start),
                      static_cast<unsigned long long>(r.end));
        out += line;
    }
    return out + "\n";
}

std::string header(const std::string& method, const std::string& sheet, const std::string& output)
{
    const char* kind = method == "cue2raw" ? "RAW image" : method == "cue2dat" ? "VCD DAT" : "MPEG";
    return banner + "CUE source --> " + sheet + "\n" + kind + " destination --> " + output +
           "\nExtraction method --> " + method + "\n";
}

std::string sheet(const std::string& bin, const std::vector<int>& starts, const std::string& type)
{
    std::string text = "FILE " + bin + " BINARY\n";
    char line[96];
    for (std::size_t i = 0; i < starts.size(); ++i) {
        int p = starts[i];
        std::snprintf(line, sizeof line, "  TRACK %02zu %s\n    INDEX 01 %02d:%02d:%02d\n", i + 1, type.c_str(),
                      p / 4500, p / 75 % 60, p % 75);
        text += line;
    }
    return text;
}

Bytes data_sectors(std::size_t n, std::uint32_t first_lba)
{
    return raw_track(zeros(n * block_size), first_lba);
}

std::string writing(int t)
{
    return "\xfe                 Track " + std::to_string(t) + " -> writing...\r";
}

}  // namespace cue
