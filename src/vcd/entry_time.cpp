#include "vcd/entry_time.h"

#include <cstdio>

std::string entry_time_text(std::uint64_t pts, std::uint64_t lowest_pts)
{
    std::uint64_t ticks = pts > lowest_pts ? pts - lowest_pts : 0;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%llu.%06llu", static_cast<unsigned long long>(ticks / 90000),
                  static_cast<unsigned long long>(ticks % 90000 * 1000000 / 90000));
    return buf;
}
