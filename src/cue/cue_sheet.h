// Reading a CUE sheet and opening the BIN image it names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Fills track_table and highest_track from the sheet named by input_name and
// leaves the BIN open as the input. Every error ends the run.
void read_cue_sheet();

// The second spelling tried for a BIN name: from the end back to the last
// '/', backslashes become slashes and letters lower case.
std::string rewrite_bin_name(std::string name);

// Sector size of a TRACK type word, or 0 for a word the program cannot use.
std::uint32_t track_type_sector_size(std::string_view word);
