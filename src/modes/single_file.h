// Steps shared by the conversions that read one input file.
#pragma once

// Opens the input; on failure prints the message, marks the run failed and
// returns false.
bool open_single_input();

// Scans the input from offset 0 for the first pack header; ends the run with
// not_found_text when there is none.
void find_first_pack(const char* not_found_text);

// Creates the output, runs before_copy (when given), copies the input up to
// its size and prints the completion line.
void write_single_output(void (*before_copy)());
