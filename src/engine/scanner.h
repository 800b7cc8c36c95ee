// Finding MPEG start codes in memory and in the input.
#pragma once

#include <cstdint>
#include <optional>

#include "io/input_file.h"

inline constexpr std::uint8_t end_code[4] = {0x00, 0x00, 0x01, 0xB9};

// Index of the first whole occurrence of pattern in text, or -1. Valid for
// patterns whose last byte occurs nowhere else in them, as both start codes.
std::int32_t find_pattern(const std::uint8_t* text, const std::uint8_t* pattern,
                          std::int32_t text_len, std::int32_t pattern_len);

// The input is searched in 5000-byte blocks from `from` on, each 4995 bytes
// after the one before, as long as a whole block fits below limit: the first
// whole occurrence of a 4-byte pattern in them, or nothing.
std::optional<std::uint64_t> find_from(BlockReader& in, const std::uint8_t* pattern, std::uint64_t from,
                                       std::uint64_t limit);

// find_from on the input from input_pos, with a percentage line per
// whole MiB when asked. True when the pattern was found with a whole raw
// sector of room before limit; input_pos is then on its first byte. Without
// a find input_pos is where the next block would have started.
bool scan_for_pattern(BlockReader& in, const std::uint8_t* pattern, std::uint64_t limit, bool show_progress);
