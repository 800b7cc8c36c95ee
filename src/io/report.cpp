#include "io/report.h"

#include <chrono>
#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <langinfo.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char square_byte = '\xfe';
constexpr const char* square_utf8 = "\xe2\x96\xa0";  // U+25A0 BLACK SQUARE
bool square_as_utf8 = false;

// Only the program's own texts carry the square: the names and words of the
// user that they show are printed as they are.
std::string with_utf8_squares(const char* text)
{
    std::string out;
    for (const char* c = text; *c; ++c)
        out += *c == square_byte ? std::string(square_utf8) : std::string(1, *c);
    return out;
}

}  // namespace

void end_run(int status)
{
    throw RunEnd{status};
}

void say(const char* format, ...)
{
    std::string converted;
    if (square_as_utf8 && std::strchr(format, square_byte))
        converted = with_utf8_squares(format);
    va_list args;
    va_start(args, format);
    std::vprintf(converted.empty() ? format : converted.c_str(), args);
    va_end(args);
}

void say_text(const char* text)
{
    std::fputs(square_as_utf8 ? with_utf8_squares(text).c_str() : text, stdout);
}

void choose_square_glyph()
{
    if (!::isatty(STDOUT_FILENO) || !std::setlocale(LC_CTYPE, ""))
        return;
    square_as_utf8 = std::strcmp(::nl_langinfo(CODESET), "UTF-8") == 0;
    // The rest of the program reads bytes, not characters.
    std::setlocale(LC_CTYPE, "C");
}

void flush_stdout()
{
    std::fflush(stdout);
}

// Every write to a file updates its times, and on a busy disk that waits for
// the file system's journal: a run that logs to a file and flushed each of its
// hundreds of progress lines took a third longer than its copy. A terminal or
// a pipe, where someone may be watching, still gets every line at once.
void flush_progress()
{
    using Clock = std::chrono::steady_clock;
    static Clock::time_point last_flush;
    struct stat st {};
    bool to_file = ::fstat(STDOUT_FILENO, &st) == 0 && S_ISREG(st.st_mode);
    Clock::time_point now = Clock::now();
    if (to_file && now - last_flush < std::chrono::milliseconds(100))
        return;
    last_flush = now;
    std::fflush(stdout);
}
