// CUE sheets, small Video CD images and the lines the CUE conversions print.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fixtures.h"
#include "harness.h"

// One row of the printed track table.
struct TableRow {
    int minutes, seconds, frames;
    unsigned sector_size;
    std::uint64_t start, end;
};

// An MSF position for a sector count: "mm:ss:ff".
std::string msf(int sector);
// A row at a sector position with 2352-byte sectors.
TableRow raw_row(int sector, std::uint64_t end);
// The header line, one row per entry and the closing blank line.
std::string table_text(const std::vector<TableRow>& rows);

// The three header lines of -cue2raw, -cue2dat or -cue2mpg (mode without the
// dash, e.g. "cue2mpg").
std::string cue_header(const std::string& mode, const std::string& cue, const std::string& out);

// A sheet naming `bin` (written as given, quotes included) with one TRACK of
// `type` and one INDEX 01 line per start sector.
std::string vcd_sheet(const std::string& bin, const std::vector<int>& starts,
                      const std::string& type = "MODE2/2352", const std::string& eol = "\n");

// Raw Mode 2 sectors whose user data is all zero: no start code anywhere.
Bytes data_sectors(std::size_t n, std::uint32_t first_lba = 0);
// Mode 1 sectors (sync, header, 2048 user bytes, 288 zero bytes).
Bytes mode1_sectors(const Bytes& user_data);

// A file of `size` bytes that takes no room on disk.
void make_sparse(const Scratch& s, const std::string& name, std::uint64_t size);

std::string track_writing(int t);
std::string track_searching(int t);
inline const std::string scan_progress = "\xfe 0%\r";
inline const std::string copy_progress = "\xfe 0% [00:00:00] \r";
inline const std::string image_searching = "\xfe                 -> searching \r";
inline const std::string size_warning = "\n** BIN size does not match size expected in CUE file. **\n\n";
inline const std::string raw_completed = "\n\xfe completed. Track(s) written.\n\n";
inline const std::string completed = "\xfe completed. Track(s) written.\n\n";
