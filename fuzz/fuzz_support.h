// Shared by the fuzz targets: sample Video CD material, a private working
// folder, and one in-process run of the program inside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fixtures.h"

namespace fuzz {

// The eight blocks every sample file is made of: an empty data block, a
// padded pack, a pack closed by an end code (a bumper), two packs, a block
// whose bytes 2 to 4 mark it broken, and two more packs.
std::vector<Bytes> sample_blocks();

Bytes raw_image();   // the sample blocks as raw Mode 2 sectors (18816 bytes)
Bytes cif_image();   // as CIF sectors
Bytes mpeg_file();   // the blocks after the empty one, back to back
Bytes dat_file();    // RIFF CDXA header, then the raw sectors

// Just over 1 MiB of raw sectors, the sample sectors over and over, so that
// copies cross the end of the reader's 1 MiB buffer. Sector 445, whose user
// data ends past offset 1 MiB, holds a pack start code followed by 0xBA
// bytes only, after an empty sector: a copy in 1-byte chunks with -fix finds
// no broken chunk there and walks right up to the buffer's end.
inline constexpr std::uint32_t big_image_sectors = 480;
Bytes big_raw_image();

// Sends standard output to /dev/null (unless MIVARO_FUZZ_SHOW_OUTPUT is 1),
// makes the working folder and makes sure crash files land where the fuzzer
// was started, not in that folder. Call from LLVMFuzzerInitialize with its
// own arguments.
void setup(int* argc, char*** argv);

// A file that every run finds with this content: written again before a
// run whenever an earlier run changed it.
void add_fixed_file(const std::string& name, Bytes content);

// Removes every file but the fixed ones and restores those.
void begin_run();

// Writes one more file for the coming run only; begin_run removes it.
void put_file(const std::string& name, const std::uint8_t* data, std::size_t size);

// Runs the program in the working folder as `mivaro args...` on a fresh
// run state; returns its exit status.
int run_mivaro(const std::vector<std::string>& args);

}  // namespace fuzz
