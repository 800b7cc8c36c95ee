// Builders for the material the tests feed to mivaro: MPEG packs, raw and
// CIF sectors, .dat files and CUE sheets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bytes.h"

inline constexpr std::size_t block_size = 2324;   // Form 2 user data, one MPEG block
inline constexpr std::size_t sector_bytes = 2352;  // raw sector
inline constexpr std::size_t cif_bytes = 2332;     // subheader + user data

// A 2324-byte block that opens with a pack header (00 00 01 BA 21) followed
// by filler that holds no 00, 01 or FF byte, so it contains no other start
// code and never looks padded. Different serials give different filler.
Bytes mpeg_block(unsigned serial);
// The same with 0xFF from byte 34 on: a padded pack.
Bytes padded_block(unsigned serial);
// A block whose bytes 2 to 4 are all unlike 01 BA 21: the repair loop's
// "broken" block. Holds no start code.
Bytes broken_block(unsigned serial);
// Blocks serial, serial+1, ... concatenated.
Bytes mpeg_stream(std::size_t blocks, unsigned first_serial = 0);
// Filler with no start code in it.
Bytes filler(std::size_t n, unsigned serial = 99);
Bytes zeros(std::size_t n);

// A raw Mode 2 Form 2 sector at address lba around 2324 bytes of user data.
Bytes raw_sector(const Bytes& user_data, std::uint32_t lba);
// Each 2324 bytes of data (the last block zero-padded) in its own sector.
Bytes raw_track(const Bytes& data, std::uint32_t first_lba = 0);
// A CIF sector: subheader, then user data.
Bytes cif_sector(const Bytes& user_data);
Bytes cif_track(const Bytes& data);
// The 44-byte RIFF CDXA header, then the given sectors.
Bytes dat_file(const Bytes& sectors);
extern const Bytes dat_header_bytes;

void put_bytes(Bytes& b, std::size_t at, std::initializer_list<std::uint8_t> values);

// CUE sheets, small Video CD images and the lines the CUE conversions print.
// The banner block every run starts with: blank line, banner, blank line.
inline const std::string banner = "\nMivaro v1.5\n\n";

namespace cue {

// One printed row of the track table; offsets are bytes into the BIN.
struct Row {
    int minutes, seconds, frames;
    unsigned sector_size;
    std::uint64_t start, end;
};
// A row for 2352-byte sectors from a sector position.
Row raw_row(int sector, std::uint64_t end);
// Header line, one row per entry from entry 0, closing blank line.
std::string table(const std::vector<Row>& rows);
// The banner and the three header lines of method ("cue2raw", "cue2dat" or
// "cue2mpg").
std::string header(const std::string& method, const std::string& sheet, const std::string& output);
// A sheet naming bin as written, with one TRACK of type and one INDEX 01
// line per start sector.
std::string sheet(const std::string& bin, const std::vector<int>& starts, const std::string& type = "MODE2/2352",
                  const std::string& eol = "\n");
// Raw Mode 2 sectors whose user data is all zero: no start code anywhere.
Bytes data_sectors(std::size_t n, std::uint32_t first_lba = 0);

std::string writing(int t);
std::string searching(int t);
inline const std::string scan0 = "\xfe 0%\r";
inline const std::string copy0 = "\xfe 0% [00:00:00] \r";
inline const std::string size_warning = "\n** BIN size does not match size expected in CUE file. **\n\n";
// cue2raw's completion line has a line end in front of this.
inline const std::string completed = "\xfe completed. Track(s) written.\n\n";

}  // namespace cue
