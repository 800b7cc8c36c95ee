// The stream engine run in-process on bytes in memory.
#pragma once

#include <functional>
#include <string>

#include "fixtures.h"
#include "harness.h"

// Replaces every "[hh:mm:ss]" estimate, which depends on the clock after the first MiB.
std::string mask_clock(std::string text);

// What `body` did on a fresh run state with `input` (read from memory) as the
// input and an output file open: stdout, the status it ended the run with (0
// when it returned), the output file.
struct InProcess {
    std::string out;
    int status = 0;
    Bytes written;
};
InProcess in_process(const Bytes& input, const std::function<void()>& body);
