#include "io/numbers.h"

#include <limits>

std::int32_t leading_number(std::string_view text)
{
    std::size_t i = 0;
    auto is_space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (i < text.size() && is_space(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    // Saturates like strtol; the result is then cut to an int as atoi does.
    constexpr std::int64_t cap = std::numeric_limits<std::int64_t>::max() / 10 - 9;
    std::int64_t value = 0;
    bool saturated = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value > cap)
            saturated = true;
        else
            value = value * 10 + (text[i] - '0');
    }
    if (saturated)
        value = negative ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
    else if (negative)
        value = -value;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
}
