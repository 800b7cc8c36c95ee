// The sector copy engine: moves the input from input_pos up to a limit into
// the output, repairing the MPEG stream on the way when asked to.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/mode2.h"
#include "io/input_file.h"
#include "io/output_file.h"

// What one copy does: from where to where, in which steps, and how.
struct CopyPlan {
    BlockReader& input;
    BlockWriter& output;
    std::uint32_t sector_size = 0;
    std::uint32_t read_chunk = 0;   // bytes read a step
    std::uint32_t write_chunk = 0;  // bytes of each step written
    Framing framing = Framing::plain_bytes;
    // Sectors copied exactly as they stand: never repaired or searched for a
    // bumper, and moved by the kernel where it can.
    bool exact_copy = false;
    // A last piece shorter than a chunk is handled as a last MPEG block.
    bool keep_last_block = false;
    // Told of each chunk the engine reads, by its position, before the
    // engine looks at it (the whole-disc copy checks the sector around it).
    std::function<void(std::uint64_t pos)> chunk_seen = nullptr;
};

// Copies from input_pos up to limit as the plan says, then closes the output.
void copy_stream(const CopyPlan& plan, std::uint64_t limit);

// The CUE modes' copy: io's input, output and sizes, framed as given.
void copy_stream(std::uint64_t limit, Framing framing = Framing::plain_bytes, bool exact_copy = false,
                 bool keep_last_block = false);

struct Estimate {
    int hours;
    int minutes;
    int seconds;
};
// Time left when percent of the work took elapsed seconds; fractions are
// dropped at each step.
Estimate estimate_remaining(int percent, double elapsed);
