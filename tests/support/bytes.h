// Byte strings as the tests build them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

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
    from = std::min(from, b.size());
    n = std::min(n, b.size() - from);
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from), b.begin() + static_cast<std::ptrdiff_t>(from + n));
}

// Bytes written as hex digits; spaces between them are ignored.
inline Bytes hex(std::string s)
{
    std::erase(s, ' ');
    Bytes b;
    for (std::size_t i = 0; i + 1 < s.size(); i += 2)
        b.push_back(static_cast<std::uint8_t>(std::stoi(s.substr(i, 2), nullptr, 16)));
    return b;
}
