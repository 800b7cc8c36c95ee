#include "sector/md5.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

namespace {

constexpr std::uint32_t sines[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
constexpr int shifts[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

struct Lane {
    std::uint32_t a, b, c, d;
    const std::uint8_t* p;
};

template <int i>
inline void step(Lane& l)
{
    constexpr int round = i / 16;
    constexpr int g = round == 0 ? i : round == 1 ? (5 * i + 1) % 16 : round == 2 ? (3 * i + 5) % 16 : 7 * i % 16;
    std::uint32_t m;
    std::memcpy(&m, l.p + 4 * g, 4);
    // Everything that does not wait for b, the previous step's result, is
    // added first: that shortens the chain each step waits on.
    std::uint32_t sum = l.a + sines[i] + m;
    if constexpr (round == 0)
        sum += l.d ^ (l.b & (l.c ^ l.d));
    else if constexpr (round == 1)
        sum = sum + (l.c & ~l.d) + (l.b & l.d);
    else if constexpr (round == 2)
        sum += (l.c ^ l.d) ^ l.b;
    else
        sum += l.c ^ (l.b | ~l.d);
    std::uint32_t next = l.b + std::rotl(sum, shifts[round][i % 4]);
    l.a = l.d;
    l.d = l.c;
    l.c = l.b;
    l.b = next;
}

template <int i, typename... L>
inline void step_each(L&... lanes)
{
    (step<i>(lanes), ...);
}

template <std::size_t... I, typename... L>
inline void all_steps(std::index_sequence<I...>, L&... lanes)
{
    (step_each<I>(lanes...), ...);
}

void add_into(Lane& l, const Lane& block_end)
{
    l.a += block_end.a;
    l.b += block_end.b;
    l.c += block_end.c;
    l.d += block_end.d;
}

template <typename... L>
void blocks(std::size_t n, L&... lanes)
{
    for (; n > 0; --n) {
        [&](L... work) {
            all_steps(std::make_index_sequence<64>{}, work...);
            (add_into(lanes, work), ...);
        }(lanes...);
        ((lanes.p += 64), ...);
    }
}

Lane lane_of(const Md5Stream& s, const std::uint8_t* p)
{
    return {s.state[0], s.state[1], s.state[2], s.state[3], p};
}

void keep(Md5Stream& s, const Lane& l)
{
    s.state = {l.a, l.b, l.c, l.d};
}

void one(Md5Stream& s, const std::uint8_t* p, std::size_t n)
{
    Lane l = lane_of(s, p);
    blocks(n, l);
    keep(s, l);
}

}  // namespace

void md5_update(Md5Stream& s, std::span<const std::uint8_t> bytes)
{
    if (bytes.empty())
        return;
    std::size_t have = s.length % 64;
    s.length += bytes.size();
    if (have > 0) {
        std::size_t take = std::min(64 - have, bytes.size());
        std::memcpy(s.held.data() + have, bytes.data(), take);
        bytes = bytes.subspan(take);
        if (have + take < 64)
            return;
        one(s, s.held.data(), 1);
    }
    one(s, bytes.data(), bytes.size() / 64);
    std::size_t rest = bytes.size() % 64;
    std::memcpy(s.held.data(), bytes.data() + bytes.size() - rest, rest);
}

void md5_update_both(Md5Stream& a, Md5Stream& b, std::span<const std::uint8_t> bytes)
{
    // Each stream first completes the block it holds; after that both take
    // whole blocks from `bytes`, at offsets that differ by under 64.
    std::size_t ha = a.length % 64, hb = b.length % 64;
    std::size_t ta = ha ? 64 - ha : 0, tb = hb ? 64 - hb : 0;
    if (bytes.size() < std::max(ta, tb) + 128) {
        md5_update(a, bytes);
        md5_update(b, bytes);
        return;
    }
    md5_update(a, bytes.first(ta));
    md5_update(b, bytes.first(tb));
    std::span<const std::uint8_t> ra = bytes.subspan(ta), rb = bytes.subspan(tb);
    std::size_t n = std::min(ra.size(), rb.size()) / 64;
    Lane x = lane_of(a, ra.data()), y = lane_of(b, rb.data());
    blocks(n, x, y);
    keep(a, x);
    keep(b, y);
    a.length += n * 64;
    b.length += n * 64;
    md5_update(a, ra.subspan(n * 64));
    md5_update(b, rb.subspan(n * 64));
}

std::array<std::uint8_t, 16> md5_digest(Md5Stream s)
{
    std::uint64_t bits = s.length * 8;
    std::uint8_t pad[72] = {0x80};
    std::size_t have = s.length % 64;
    std::size_t fill = (have < 56 ? 56 : 120) - have;
    for (int i = 0; i < 8; ++i)
        pad[fill + i] = static_cast<std::uint8_t>(bits >> (8 * i));
    md5_update(s, std::span(pad, fill + 8));
    std::array<std::uint8_t, 16> out;
    for (int i = 0; i < 16; ++i)
        out[i] = static_cast<std::uint8_t>(s.state[i / 4] >> (8 * (i % 4)));
    return out;
}
