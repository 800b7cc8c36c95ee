#include "state/report.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

void end_run(int status)
{
    throw RunEnd{status};
}

void say(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
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
