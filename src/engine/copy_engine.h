// The sector copy engine: moves the input from input_pos up to a limit into
// the output, repairing the MPEG stream on the way when asked to.
#pragma once

#include <cstdint>

void copy_stream(std::uint64_t limit);

struct Estimate {
    int hours;
    int minutes;
    int seconds;
};
// Time left when percent of the work took elapsed seconds; fractions are
// dropped at each step.
Estimate estimate_remaining(int percent, double elapsed);
