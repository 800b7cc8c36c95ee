// Program-wide records: one instance of each lives for the whole run.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "image/cue_sheet.h"
#include "sector/formats.h"
#include "io/input_file.h"
#include "io/output_file.h"
#include "io/report.h"

enum ConversionMode : std::uint16_t {
    mode_none = 0,
    cue2raw_mode = 1,
    cue2mpg_mode = 2,
    cue2dat_mode = 3,
    raw2mpg_mode = 4,
    raw2dat_mode = 5,
    dat2mpg_mode = 6,
    cif2mpg_mode = 7,
    mpg2mpg_mode = 8,
    mpg2dat_mode = 9,
    disc2mpg_mode = 10,
    verify_mode = 11,  // checks every sector of its one input, writes nothing
    disc2bin_mode = 12,  // merges reads of one disc into one image
};

enum OutputKind : std::uint16_t { output_raw = 0, output_dat = 1, output_mpg = 2 };

struct RunSettings {
    // The fifth byte 0x21 completes the pack header prefix; only four bytes
    // are ever searched for.
    std::array<std::uint8_t, 5> pack_start_code{0x00, 0x00, 0x01, 0xBA, 0x21};
    std::uint16_t fix_blocks = 0;
    std::uint16_t initial_sequence_applied = 0;
    std::uint16_t output_kind = output_raw;
    std::uint16_t mode = mode_none;
    std::uint16_t remove_bumper = 0;
    std::uint16_t bumper_removed = 0;
    std::int16_t first_track = 0;
    std::int16_t last_track = 0;
    std::uint16_t track_selected = 0;
    std::int16_t highest_track = -1;
    std::uint32_t read_sector_override = 0;
    std::uint32_t write_sector_override = 0;
    std::uint32_t block_corrections = 0;
    // -verify -hash: each track file's CRC-32, MD5 and SHA-1 after the verdict.
    // Offsets are below 4 GiB (larger inputs are refused); they are kept in
    // 64 bits so that sums near the top of that range cannot wrap.
    std::uint64_t input_pos = 0;
    // Exit status a run ends with when it reaches its closing reports.
    int exit_status = 0;
};

struct IoState {
    BlockReader cue_file;
    BlockReader input_file;
    BlockWriter output_file;
    std::uint32_t sector_size = 0;
    std::uint32_t read_chunk = 0;
    std::uint32_t write_chunk = 0;
    std::uint64_t input_size = 0;
    std::string input_name;
    std::string output_name;
};

extern RunSettings settings;
extern IoState io;
extern std::array<TrackRecord, max_tracks> track_table;
// Holds the .dat signature read and copies of chunks too short for the
// repair to examine in place; the copy loops otherwise work on views into
// the input's read buffer.
extern std::array<std::uint8_t, sector_buffer_size> sector_buffer;
extern std::string output_name_template;
extern std::vector<BinImage> bin_images;

// Puts every record back to its start-of-program value.
void reset_run_state();

// Whole sectors of `sector_size` bytes that fit the buffer.
std::uint32_t multi_sector_chunk(std::uint32_t sector_size);

// Size of an open input, through checked_size.
std::uint64_t file_size(BlockReader& stream);
