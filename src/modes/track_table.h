// The track table as the user sees it, the range of entries to extract and
// the numbered output names.
#pragma once

void print_track_table();

// Sets first_track and last_track; a selected entry the table lacks ends the
// run.
void resolve_track_range();

// Replaces the output name with the template numbered for entry t:
// movie.mpg becomes movie01.mpg, v.d/movie becomes v.d/movie01.
void make_track_filename(int t);
