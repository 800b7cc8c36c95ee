// The nine conversions and the check, named after their options.
#pragma once

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

