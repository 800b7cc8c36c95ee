// The nine conversions and the check, named after their options.
#pragma once

#include <span>
#include <string>

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
void verify();
// Its names: every read of the disc, then the sheet to write.
void disc2bin(std::span<const std::string> names);

