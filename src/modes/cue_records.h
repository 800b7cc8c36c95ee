// The CUE modes' reading of their sheet into the program-wide records.
#pragma once

#include <cstddef>

// Reads the sheet named by input_name: bin_images, track_table and
// highest_track (and, for a single Mode 1 track, the sector sizes that track
// is read with). Every error ends the run.
void read_cue_sheet();

// Makes bin_images[b] the input and input_size its size.
void open_bin_image(std::size_t b);
