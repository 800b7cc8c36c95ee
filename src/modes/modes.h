// The nine conversions and the check, named after their options.
#pragma once

#include <span>
#include <string>
#include <vector>

void cue2raw();
void cue2mpg();
void cue2dat();
void raw2mpg();
void raw2dat();
void dat2mpg();
void cif2mpg();
void mpg2mpg();
void mpg2dat();
void disc2mpg();
// What the command line gives the modes that take more than the records
// hold: every name as taken, and -hash.
struct ModeArgs {
    std::vector<std::string> names;
    bool hash_tracks = false;
};

// Its names: the image, then a DAT to look it up in.
void verify(const ModeArgs& args);
// Its names: every read of the disc, then the sheet to write.
void disc2bin(const ModeArgs& args);

