// Corrections made at the start of an MPEG stream.
#pragma once

#include <array>
#include <cstdint>

inline constexpr std::uint32_t bumper_scan_cap = 0xF00000;  // 15 MiB
extern const std::array<std::uint8_t, 9296> initial_sequence;

// Moves input_pos past a CD-i bumper that ends in an MPEG end code.
void prescan_bumper(std::uint64_t limit);

// Puts the initial sequence in front of a first chunk that does not open with
// a padded pack.
void apply_initial_sequence(const std::uint8_t* first_chunk);
