// Expected output of the single-file conversions and of the stream engine:
// the lines mivaro prints and the sectors it builds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fixtures.h"

namespace expect {

inline const std::string searching = "\xfe                 -> searching \r";
inline const std::string writing = "\xfe                 -> writing...\r";
// One per scanner call that reads a block below 1 MiB.
inline const std::string scan0 = "\xfe 0%\r";
// One per copy below 1 MiB.
inline const std::string copy0 = "\xfe 0% [00:00:00] \r";
inline const std::string prescan = "\r\xfe pre-scanning\r";
inline const std::string sequence_applied = "\xfe initital sequence correction applied.\n";
inline const std::string fix_line = "- Fix broken MPEG blocks enabled.\n";
inline const std::string bumper_line = "- Remove CD-i bumper from file.\n";

std::string completed(const std::string& output);
std::string corrections(unsigned count);
std::string read_size_line(int bytes);
std::string write_size_line(int bytes);
// "could not be opened" of the single-file modes.
std::string open_failed(const std::string& input);

// The three header lines of a single-file mode ("raw2mpg", "dat2mpg",
// "raw2dat" or "mpg2dat"; cif2mpg and mpg2mpg print raw2mpg's), then the
// option summary lines given and its closing blank line.
std::string header(const std::string& method, const std::string& input, const std::string& output,
                   const std::string& summary = "");

}  // namespace expect

// Replaces every "[hh:mm:ss]" estimate by a fixed text: estimates made
// after the first MiB depend on the clock.
std::string mask_clock(std::string text);

// A copy of b with values written at `at`.
Bytes with_bytes(Bytes b, std::size_t at, std::initializer_list<std::uint8_t> values);
Bytes join_blocks(const std::vector<Bytes>& blocks);

// Sectors of a .dat file built from MPEG, addressed by frame count
// (00:08:12 is 612): lead-in sectors 612..641, data sectors from 642.
Bytes empty_dat_sector(std::uint32_t address);
Bytes data_dat_sector(const Bytes& user_data, std::uint32_t address);
// The whole .dat file for these 2324-byte blocks of user data.
Bytes dat_from_blocks(const Bytes& user_data);
