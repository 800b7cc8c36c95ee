// Everything the program tells the user goes to standard output through
// here, and a run that must end unwinds to the driver from here.
#pragma once

#include <cstdio>
#include <string>

// A run that must end unwinds to the driver with this; the lines the user
// sees have been printed already.
struct RunEnd {
    int status;
};
[[noreturn]] void end_run(int status);

// printf into a string, for a line put together before it is said.
template <typename... Args>
std::string formatted(const char* format, Args... args)
{
    int size = std::snprintf(nullptr, 0, format, args...);
    std::string text(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    if (size > 0)
        std::snprintf(text.data(), text.size() + 1, format, args...);
    return text;
}

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
