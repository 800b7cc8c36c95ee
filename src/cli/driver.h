// The whole run: banner, command line, one conversion, closing reports.
#pragma once

// Returns the exit status. Everything the run prints goes to standard output.
int run_program(int argc, const char* const* argv);
