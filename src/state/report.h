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
void say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void flush_stdout();
// For progress lines: flushes as flush_stdout does, but at most ten times a
// second when standard output is a file.
void flush_progress();
