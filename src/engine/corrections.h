// Corrections made at the start of an MPEG stream.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "engine/mode2.h"
#include "io/input_file.h"
#include "io/output_file.h"
#include "sector/formats.h"

inline constexpr std::uint32_t bumper_scan_cap = 0xF00000;  // 15 MiB
// Four packs of padding: the room of four MPEG blocks.
inline constexpr std::size_t initial_sequence_size = 4 * form2_data_size;
extern const std::array<std::uint8_t, initial_sequence_size> initial_sequence;

// Moves input_pos past a CD-i bumper that ends in an MPEG end code.
void prescan_bumper(BlockReader& in, std::uint64_t limit);

// Puts the initial sequence in front of a first chunk that does not open with
// a padded pack, framed as the output's chunks are.
void apply_initial_sequence(BlockWriter& out, Framing framing, const std::uint8_t* first_chunk);
