// Everything the program tells the user goes to standard output through
// here, and a run that must end unwinds to the driver from here.
#pragma once

// A run that must end unwinds to the driver with this; the lines the user
// sees have been printed already.
struct RunEnd {
    int status;
};
[[noreturn]] void end_run(int status);

// printf to standard output; every line the program prints goes through it.
// The byte 0xFE in a format is the small filled square of the old PC code
// page that status lines start with.
void say(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Prints a text of the program's own as it stands, squares included.
void say_text(const char* text);
// From here on the square is written as U+25A0 when standard output is a
// terminal whose locale uses UTF-8; files and pipes keep the byte 0xFE.
void choose_square_glyph();
void flush_stdout();
// For progress lines: flushes as flush_stdout does, but at most ten times a
// second when standard output is a file.
void flush_progress();
