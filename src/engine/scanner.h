// Finding MPEG start codes in memory and in the input file.
#pragma once

#include <cstdint>
#include <span>

inline constexpr std::uint8_t end_code[4] = {0x00, 0x00, 0x01, 0xB9};

// Index of the first whole occurrence of pattern in text, or -1. Valid for
// patterns whose last byte occurs nowhere else in them, as both start codes.
std::int32_t find_pattern(const std::uint8_t* text, const std::uint8_t* pattern,
                          std::int32_t text_len, std::int32_t pattern_len);

// Walks the input from input_pos in overlapping 5000-byte blocks. True when
// the pattern was found with a whole raw sector of room before limit;
// input_pos is then on its first byte.
bool scan_for_pattern(const std::uint8_t* pattern, std::uint64_t limit, bool show_progress);
