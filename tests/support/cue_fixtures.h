// CUE sheets, small Video CD images and the lines the CUE conversions print.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bytes.h"

namespace cue {

// A printed row of the track table; raw_row gives one for 2352-byte sectors.
struct Row {
    int minutes, seconds, frames;
    unsigned sector_size;
    std::uint64_t start, end;
};
Row raw_row(int sector, std::uint64_t end);
// Header line, one row per entry from entry 0, closing blank line.
std::string table(const std::vector<Row>& rows);
// The banner and the three header lines of method, "cue2raw" for instance.
std::string header(const std::string& method, const std::string& sheet, const std::string& output);
// A sheet naming bin, with one TRACK and one INDEX 01 line per start sector.
std::string sheet(const std::string& bin, const std::vector<int>& starts, const std::string& type = "MODE2/2352");
// Raw Mode 2 sectors whose user data is all zero.
Bytes data_sectors(std::size_t n, std::uint32_t first_lba = 0);
std::string writing(int t);
inline const std::string size_warning = "\n** BIN size does not match size expected in CUE file. **\n\n";
inline const std::string completed = "\xfe completed. Track(s) written.\n\n";

}  // namespace cue
