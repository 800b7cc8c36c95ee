// The command line: options, modes and the two file names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "modes/modes.h"

// Fills the program-wide settings and names from the arguments. Ends the run
// instead with the usage text (status 0 when asked for or when there are no
// arguments, 1 when the output name never comes), with the banner alone for
// --version, or with status 1 for a sector size out of range or two names
// without a conversion option.
// Returns the names as taken: the input and the output, or for -disc2bin
// every read and then the sheet to write.
ModeArgs parse_command_line(int argc, const char* const* argv);

// True when the name's last component (after the last '/' or '\\'; one
// trailing '\\' is passed over) holds a '.'.
bool has_extension(std::string_view name);

[[noreturn]] void print_usage(int status);
