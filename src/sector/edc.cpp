#include "sector/edc.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define MIVARO_EDC_CLMUL 1
#endif

namespace {

constexpr std::uint32_t poly_reversed = 0xD8018001;

// tables[k][b]: the EDC of byte b followed by k zero bytes. Eight lookups
// then carry eight bytes at once.
constexpr std::array<std::array<std::uint32_t, 256>, 8> make_tables()
{
    std::array<std::array<std::uint32_t, 256>, 8> t{};
    for (std::uint32_t b = 0; b < 256; ++b) {
        std::uint32_t edc = b;
        for (int bit = 0; bit < 8; ++bit)
            edc = (edc >> 1) ^ ((edc & 1) ? poly_reversed : 0);
        t[0][b] = edc;
    }
    for (std::size_t k = 1; k < t.size(); ++k)
        for (std::uint32_t b = 0; b < 256; ++b)
            t[k][b] = (t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFF];
    return t;
}
constexpr auto tables = make_tables();

std::uint32_t load_le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

#ifdef MIVARO_EDC_CLMUL

// Folding constants for the polynomial, worked out here rather than copied:
// fold(n) is x^n mod P with its 32 bits reversed, shifted up by one, which is
// how a bit-reversed CRC multiplies by x^n; mu is x^64 / P for the final
// Barrett reduction, and p the polynomial, both with 33 bits reversed.
constexpr std::uint64_t poly_normal = 0x18001801Bull;  // P with its x^32 term

constexpr std::uint64_t reverse_bits(std::uint64_t v, int bits)
{
    std::uint64_t r = 0;
    for (int i = 0; i < bits; ++i)
        r |= ((v >> i) & 1) << (bits - 1 - i);
    return r;
}

constexpr std::uint64_t fold(int n)
{
    std::uint64_t r = 1;
    for (int i = 0; i < n; ++i) {
        r <<= 1;
        if (r >> 32)
            r ^= poly_normal;
    }
    return reverse_bits(r, 32) << 1;
}

constexpr std::uint64_t barrett_mu()
{
    // Long division of x^64 by P: 33 quotient bits.
    unsigned __int128 rest = static_cast<unsigned __int128>(1) << 64;
    std::uint64_t q = 0;
    for (int s = 32; s >= 0; --s)
        if ((rest >> (32 + s)) & 1) {
            q |= 1ull << s;
            rest ^= static_cast<unsigned __int128>(poly_normal) << s;
        }
    return q;
}

constexpr std::uint64_t k_512_lo = fold(4 * 128 + 32), k_512_hi = fold(4 * 128 - 32);
constexpr std::uint64_t k_128_lo = fold(128 + 32), k_128_hi = fold(128 - 32);
constexpr std::uint64_t k_64 = fold(64);
constexpr std::uint64_t mu_reversed = reverse_bits(barrett_mu(), 33);
constexpr std::uint64_t p_reversed = reverse_bits(poly_normal, 33);
static_assert(p_reversed == (static_cast<std::uint64_t>(poly_reversed) << 1 | 1));

__attribute__((target("pclmul,sse4.1"))) __m128i fold_into(__m128i acc, __m128i k, __m128i next)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(acc, k, 0x00), _mm_clmulepi64_si128(acc, k, 0x11)),
                         next);
}

// n is a multiple of 16 and at least 64. Four lanes of 16 bytes are folded
// 64 bytes ahead at a time, then into one lane, then reduced to 32 bits.
__attribute__((target("pclmul,sse4.1"))) std::uint32_t edc_clmul(std::uint32_t edc, const std::uint8_t* p,
                                                                  std::size_t n)
{
    auto load = [](const std::uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
    __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(edc)));
    __m128i x1 = load(p + 16), x2 = load(p + 32), x3 = load(p + 48);
    p += 64;
    n -= 64;
    const __m128i k512 = _mm_set_epi64x(static_cast<long long>(k_512_hi), static_cast<long long>(k_512_lo));
    for (; n >= 64; p += 64, n -= 64) {
        x0 = fold_into(x0, k512, load(p));
        x1 = fold_into(x1, k512, load(p + 16));
        x2 = fold_into(x2, k512, load(p + 32));
        x3 = fold_into(x3, k512, load(p + 48));
    }
    const __m128i k128 = _mm_set_epi64x(static_cast<long long>(k_128_hi), static_cast<long long>(k_128_lo));
    x0 = fold_into(x0, k128, x1);
    x0 = fold_into(x0, k128, x2);
    x0 = fold_into(x0, k128, x3);
    for (; n >= 16; p += 16, n -= 16)
        x0 = fold_into(x0, k128, load(p));

    // 128 bits to 64 (32 zero bits appended), then to 32, then Barrett.
    const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);
    x0 = _mm_xor_si128(_mm_clmulepi64_si128(x0, k128, 0x10), _mm_srli_si128(x0, 8));
    const __m128i k64 = _mm_set_epi64x(0, static_cast<long long>(k_64));
    x0 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x0, mask32), k64, 0x00), _mm_srli_si128(x0, 4));
    const __m128i pu = _mm_set_epi64x(static_cast<long long>(mu_reversed), static_cast<long long>(p_reversed));
    __m128i t = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(x0, mask32), pu, 0x10), mask32);
    t = _mm_clmulepi64_si128(t, pu, 0x00);
    return static_cast<std::uint32_t>(_mm_extract_epi32(_mm_xor_si128(x0, t), 1));
}

bool has_clmul()
{
    static const bool yes = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return yes;
}

#endif

}  // namespace

std::uint32_t edc_portable(std::uint32_t edc, std::span<const std::uint8_t> bytes)
{
    const std::uint8_t* p = bytes.data();
    std::size_t n = bytes.size();
    for (; n >= 8; p += 8, n -= 8) {
        std::uint32_t lo = edc ^ load_le32(p), hi = load_le32(p + 4);
        edc = tables[7][lo & 0xFF] ^ tables[6][(lo >> 8) & 0xFF] ^ tables[5][(lo >> 16) & 0xFF] ^ tables[4][lo >> 24] ^
              tables[3][hi & 0xFF] ^ tables[2][(hi >> 8) & 0xFF] ^ tables[1][(hi >> 16) & 0xFF] ^ tables[0][hi >> 24];
    }
    for (; n > 0; ++p, --n)
        edc = (edc >> 8) ^ tables[0][(edc ^ *p) & 0xFF];
    return edc;
}

std::uint32_t edc_update(std::uint32_t edc, std::span<const std::uint8_t> bytes)
{
#ifdef MIVARO_EDC_CLMUL
    if (bytes.size() >= 64 && has_clmul()) {
        std::size_t folded = bytes.size() & ~std::size_t{15};
        edc = edc_clmul(edc, bytes.data(), folded);
        bytes = bytes.subspan(folded);
    }
#endif
    return edc_portable(edc, bytes);
}
