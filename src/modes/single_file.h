// Steps shared by the conversions that read one input file.
#pragma once

#include "engine/mode2.h"
#include "run/run_state.h"

// Ends the run when a step would write more bytes than it read.
void refuse_unread_writes(unsigned read_size, unsigned write_size);

// Opens the input; on failure prints the message, marks the run failed and
// returns false.
bool open_single_input();

// Creates the output; on failure prints the message, marks the run failed
// and returns false.
bool create_single_output();

// Scans the input from offset 0 for the first pack header and leaves
// input_pos on it; ends the run with not_found_text when there is none.
void find_first_pack(const char* not_found_text);

// Copies the input from input_pos to its end into the output, shaped as
// given, and prints the completion line.
void copy_whole_input(Framing framing, bool exact_copy, bool keep_last_block);
