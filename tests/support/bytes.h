// Byte strings as the tests and fuzz targets build them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

inline std::string join(const Bytes& a)
{
    return std::string(a.begin(), a.end());
}

inline Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Up to n bytes from `from` on; fewer where b ends first.
inline Bytes slice(const Bytes& b, std::size_t from, std::size_t n)
{
    if (from >= b.size())
        return {};
    n = std::min(n, b.size() - from);
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from), b.begin() + static_cast<std::ptrdiff_t>(from + n));
}
