// The command line: options, modes and the two file names.
#pragma once

#include <cstdint>
#include <string_view>

// Fills the program-wide settings and names from the arguments, or prints the
// usage text and ends the run with status 0 when the output name never comes.
void parse_command_line(int argc, const char* const* argv);

// True when the last backslash-separated component of the name holds a '.'.
bool has_extension(std::string_view name);

[[noreturn]] void print_usage();
