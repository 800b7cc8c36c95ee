#include "state/report.h"

#include <cstdarg>
#include <cstdio>

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
