// Every conversion the program runs, in one table: its option, what it
// reads and writes, its lines of the usage text and the routine it runs.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "modes/modes.h"
#include "run/run_state.h"

struct ModeRow {
    std::string_view option;
    ConversionMode mode;
    OutputKind output;
    bool clears_fix;              // its output is not an MPEG stream
    const char* input_extension;  // given to an input name without one; nullptr for none
    std::span<const char* const> usage;
    void (*run)();
    // A mode that takes what the command line gives beyond the records.
    void (*run_with)(const ModeArgs& args) = nullptr;
};

// In the order the usage text lists them.
extern const std::array<ModeRow, 12> mode_rows;

// The row of a mode, or nullptr for none.
const ModeRow* mode_row(std::uint16_t mode);
