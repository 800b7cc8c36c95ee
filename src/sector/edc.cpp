#include "sector/edc.h"

#include <array>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define MIVARO_EDC_CLMUL 1
#endif

namespace {

// Every way below serves any CRC of 32 bits taken least significant bit
// first, starting from zero, with nothing added at the end: each is a
// template on the polynomial P with its x^32 term. The EDC is one; the
// CRC-32 of zip files and redump's DATs is another, with its bits inverted
// before and after.
constexpr std::uint64_t edc_poly = 0x18001801Bull;
constexpr std::uint64_t zip_poly = 0x104C11DB7ull;

constexpr std::uint64_t reverse_bits(std::uint64_t v, int bits)
{
    std::uint64_t r = 0;
    for (int i = 0; i < bits; ++i)
        r |= ((v >> i) & 1) << (bits - 1 - i);
    return r;
}

template <std::uint64_t P>
constexpr auto poly_reversed = static_cast<std::uint32_t>(reverse_bits(P, 32));
static_assert(poly_reversed<edc_poly> == 0xD8018001);

// tables[k][b]: the CRC of byte b followed by k zero bytes. Eight lookups
// then carry eight bytes at once.
template <std::uint64_t P>
constexpr std::array<std::array<std::uint32_t, 256>, 8> make_tables()
{
    std::array<std::array<std::uint32_t, 256>, 8> t{};
    for (std::uint32_t b = 0; b < 256; ++b) {
        std::uint32_t edc = b;
        for (int bit = 0; bit < 8; ++bit)
            edc = (edc >> 1) ^ ((edc & 1) ? poly_reversed<P> : 0);
        t[0][b] = edc;
    }
    for (std::size_t k = 1; k < t.size(); ++k)
        for (std::uint32_t b = 0; b < 256; ++b)
            t[k][b] = (t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFF];
    return t;
}
template <std::uint64_t P>
constexpr auto tables = make_tables<P>();

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
template <std::uint64_t P>
constexpr std::uint64_t fold(int n)
{
    std::uint64_t r = 1;
    for (int i = 0; i < n; ++i) {
        r <<= 1;
        if (r >> 32)
            r ^= P;
    }
    return reverse_bits(r, 32) << 1;
}

template <std::uint64_t P>
constexpr std::uint64_t barrett_mu()
{
    // Long division of x^64 by P: 33 quotient bits.
    unsigned __int128 rest = static_cast<unsigned __int128>(1) << 64;
    std::uint64_t q = 0;
    for (int s = 32; s >= 0; --s)
        if ((rest >> (32 + s)) & 1) {
            q |= 1ull << s;
            rest ^= static_cast<unsigned __int128>(P) << s;
        }
    return q;
}

template <std::uint64_t P>
constexpr std::uint64_t k_64 = fold<P>(64);
template <std::uint64_t P>
constexpr std::uint64_t mu_reversed = reverse_bits(barrett_mu<P>(), 33);
template <std::uint64_t P>
constexpr std::uint64_t p_reversed = reverse_bits(P, 33);
static_assert(p_reversed<edc_poly> == (static_cast<std::uint64_t>(poly_reversed<edc_poly>) << 1 | 1));

// The pair that carries 128 bits `distance` bits further on: the low half
// (the earlier bits, in this reflected order) goes 32 bits further than the
// high half.
struct FoldPair {
    std::uint64_t lo, hi;
};
template <std::uint64_t P, int distance>
constexpr FoldPair by{fold<P>(distance + 32), fold<P>(distance - 32)};

__attribute__((target("pclmul,sse4.1"))) __m128i pair128(FoldPair k)
{
    return _mm_set_epi64x(static_cast<long long>(k.hi), static_cast<long long>(k.lo));
}

__attribute__((target("pclmul,sse4.1"))) __m128i fold_into(__m128i acc, __m128i k, __m128i next)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(acc, k, 0x00), _mm_clmulepi64_si128(acc, k, 0x11)),
                         next);
}

__attribute__((target("pclmul,sse4.1"))) __m128i load128(const std::uint8_t* at)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// Folds in the n bytes at p (a multiple of 16) after x0, then reduces the
// 128 bits to the 32 of the EDC.
template <std::uint64_t P>
__attribute__((target("pclmul,sse4.1"))) std::uint32_t finish_clmul(__m128i x0, const std::uint8_t* p, std::size_t n)
{
    const __m128i k128 = pair128(by<P, 128>);
    for (; n >= 16; p += 16, n -= 16)
        x0 = fold_into(x0, k128, load128(p));

    // 128 bits to 64 (32 zero bits appended), then to 32, then Barrett.
    const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);
    x0 = _mm_xor_si128(_mm_clmulepi64_si128(x0, k128, 0x10), _mm_srli_si128(x0, 8));
    const __m128i k64 = _mm_set_epi64x(0, static_cast<long long>(k_64<P>));
    x0 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x0, mask32), k64, 0x00), _mm_srli_si128(x0, 4));
    const __m128i pu = _mm_set_epi64x(static_cast<long long>(mu_reversed<P>), static_cast<long long>(p_reversed<P>));
    __m128i t = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(x0, mask32), pu, 0x10), mask32);
    t = _mm_clmulepi64_si128(t, pu, 0x00);
    return static_cast<std::uint32_t>(_mm_extract_epi32(_mm_xor_si128(x0, t), 1));
}

// n is a multiple of 16 and at least 64. Four lanes of 16 bytes are folded
// 64 bytes ahead at a time, then into one lane, then reduced to 32 bits.
template <std::uint64_t P>
__attribute__((target("pclmul,sse4.1"))) std::uint32_t edc_clmul(std::uint32_t edc, const std::uint8_t* p,
                                                                  std::size_t n)
{
    __m128i x0 = _mm_xor_si128(load128(p), _mm_cvtsi32_si128(static_cast<int>(edc)));
    __m128i x1 = load128(p + 16), x2 = load128(p + 32), x3 = load128(p + 48);
    p += 64;
    n -= 64;
    const __m128i k512 = pair128(by<P, 512>);
    for (; n >= 64; p += 64, n -= 64) {
        x0 = fold_into(x0, k512, load128(p));
        x1 = fold_into(x1, k512, load128(p + 16));
        x2 = fold_into(x2, k512, load128(p + 32));
        x3 = fold_into(x3, k512, load128(p + 48));
    }
    const __m128i k128 = pair128(by<P, 128>);
    x0 = fold_into(x0, k128, x1);
    x0 = fold_into(x0, k128, x2);
    x0 = fold_into(x0, k128, x3);
    return finish_clmul<P>(x0, p, n);
}

bool has_clmul()
{
    static const bool yes = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return yes;
}

// The same folding with 512-bit registers: four lanes of 128 bits in each.
#define MIVARO_TARGET_512 __attribute__((target("vpclmulqdq,avx512f,avx512bw,avx512vl,pclmul,sse4.1")))

MIVARO_TARGET_512 __m512i pair512(FoldPair k0, FoldPair k1, FoldPair k2, FoldPair k3)
{
    auto w = [](std::uint64_t v) { return static_cast<long long>(v); };
    return _mm512_set_epi64(w(k3.hi), w(k3.lo), w(k2.hi), w(k2.lo), w(k1.hi), w(k1.lo), w(k0.hi), w(k0.lo));
}

MIVARO_TARGET_512 __m512i folded(__m512i acc, __m512i k)
{
    return _mm512_xor_si512(_mm512_clmulepi64_epi128(acc, k, 0x00), _mm512_clmulepi64_epi128(acc, k, 0x11));
}

// 0x96 is the truth table of the exclusive or of all three.
MIVARO_TARGET_512 __m512i xor3(__m512i a, __m512i b, __m512i c)
{
    return _mm512_ternarylogic_epi64(a, b, c, 0x96);
}

MIVARO_TARGET_512 __m512i fold_into(__m512i acc, __m512i k, __m512i next)
{
    return xor3(_mm512_clmulepi64_epi128(acc, k, 0x00), _mm512_clmulepi64_epi128(acc, k, 0x11), next);
}

MIVARO_TARGET_512 __m512i load512(const std::uint8_t* at)
{
    return _mm512_loadu_si512(at);
}

// n is at least 256. Bytes of zero in front leave an EDC that starts from
// zero at zero, so the bytes are taken as s zero bytes and then the data,
// which makes a multiple of 16; the edc carried in goes onto the data's
// first four bytes. Four registers of 64 bytes are then folded 256 bytes
// ahead at a time; each goes the rest of the way to the last one in a single
// step, the lanes of the last likewise to its top lane, and the 128-bit path
// finishes.
template <std::uint64_t P>
MIVARO_TARGET_512 std::uint32_t edc_vpclmul(std::uint32_t edc, const std::uint8_t* p, std::size_t n)
{
    const unsigned s = (16 - n % 16) % 16;
    const unsigned __int128 edc_at_s = static_cast<unsigned __int128>(edc) << (8 * s);
    const std::uint64_t beyond_16 = s > 12 ? static_cast<std::uint64_t>(edc) >> (8 * (16 - s)) : 0;
    const __m512i edc_in = _mm512_set_epi64(0, 0, 0, 0, 0, static_cast<long long>(beyond_16),
                                            static_cast<long long>(edc_at_s >> 64),
                                            static_cast<long long>(edc_at_s));
    // The load from s bytes before the data reads nothing there: masked-off
    // bytes are not touched, nor can they fault.
    const void* front = reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(p) - s);
    __m512i x0 = _mm512_xor_si512(_mm512_maskz_loadu_epi8(~std::uint64_t{0} << s, front), edc_in);
    p += 64 - s;
    n -= 64 - s;
    __m512i x1 = load512(p), x2 = load512(p + 64), x3 = load512(p + 128);
    p += 192;
    n -= 192;
    constexpr FoldPair by512 = by<P, 512>, by2048 = by<P, 2048>;
    const __m512i k2048 = pair512(by2048, by2048, by2048, by2048);
    for (; n >= 256; p += 256, n -= 256) {
        x0 = fold_into(x0, k2048, load512(p));
        x1 = fold_into(x1, k2048, load512(p + 64));
        x2 = fold_into(x2, k2048, load512(p + 128));
        x3 = fold_into(x3, k2048, load512(p + 192));
    }
    // x0, x1 and x2 are 192, 128 and 64 bytes before x3.
    constexpr FoldPair by1024 = by<P, 1024>, by1536 = by<P, 1536>;
    x3 = xor3(folded(x0, pair512(by1536, by1536, by1536, by1536)), folded(x1, pair512(by1024, by1024, by1024, by1024)),
              fold_into(x2, pair512(by512, by512, by512, by512), x3));
    const __m512i k512 = pair512(by512, by512, by512, by512);
    for (; n >= 64; p += 64, n -= 64)
        x3 = fold_into(x3, k512, load512(p));
    // Lanes 0 to 2 travel 384, 256 and 128 bits to lane 3.
    const __m512i lanes = pair512(by<P, 384>, by<P, 256>, by<P, 128>, {0, 0});
    const __m512i t = folded(x3, lanes);
    // The zero-masking lane extracts: g++ 12 takes the plain ones' undefined
    // filler for an uninitialised variable.
    const __m128i x = _mm_xor_si128(
        _mm_xor_si128(_mm512_maskz_extracti32x4_epi32(0xF, t, 0), _mm512_maskz_extracti32x4_epi32(0xF, t, 1)),
        _mm_xor_si128(_mm512_maskz_extracti32x4_epi32(0xF, t, 2), _mm512_maskz_extracti32x4_epi32(0xF, x3, 3)));
    return finish_clmul<P>(x, p, n);
}

bool has_vpclmul()
{
    static const bool yes = __builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("avx512f") &&
                            __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") && has_clmul();
    return yes;
}

#undef MIVARO_TARGET_512

#endif

template <std::uint64_t P>
std::uint32_t crc_portable(std::uint32_t edc, std::span<const std::uint8_t> bytes)
{
    const std::uint8_t* p = bytes.data();
    std::size_t n = bytes.size();
    for (; n >= 8; p += 8, n -= 8) {
        std::uint32_t lo = edc ^ load_le32(p), hi = load_le32(p + 4);
        edc = tables<P>[7][lo & 0xFF] ^ tables<P>[6][(lo >> 8) & 0xFF] ^ tables<P>[5][(lo >> 16) & 0xFF] ^
              tables<P>[4][lo >> 24] ^ tables<P>[3][hi & 0xFF] ^ tables<P>[2][(hi >> 8) & 0xFF] ^
              tables<P>[1][(hi >> 16) & 0xFF] ^ tables<P>[0][hi >> 24];
    }
    for (; n > 0; ++p, --n)
        edc = (edc >> 8) ^ tables<P>[0][(edc ^ *p) & 0xFF];
    return edc;
}

template <std::uint64_t P>
std::uint32_t crc_update_by(EdcWay way, std::uint32_t edc, std::span<const std::uint8_t> bytes)
{
#ifdef MIVARO_EDC_CLMUL
    if (way == EdcWay::clmul512 && bytes.size() >= 256 && has_vpclmul())
        return edc_vpclmul<P>(edc, bytes.data(), bytes.size());
    std::size_t whole = bytes.size() & ~std::size_t{15};
    if (way != EdcWay::tables && whole >= 64 && has_clmul()) {
        edc = edc_clmul<P>(edc, bytes.data(), whole);
        bytes = bytes.subspan(whole);
    }
#else
    (void)way;
#endif
    return crc_portable<P>(edc, bytes);
}

EdcWay best_way()
{
    static const EdcWay best = edc_way_usable(EdcWay::clmul512)   ? EdcWay::clmul512
                               : edc_way_usable(EdcWay::clmul128) ? EdcWay::clmul128
                                                                  : EdcWay::tables;
    return best;
}

}  // namespace

std::uint32_t edc_portable(std::uint32_t edc, std::span<const std::uint8_t> bytes)
{
    return crc_portable<edc_poly>(edc, bytes);
}

bool edc_way_usable(EdcWay way)
{
#ifdef MIVARO_EDC_CLMUL
    if (way == EdcWay::clmul512)
        return has_vpclmul();
    if (way == EdcWay::clmul128)
        return has_clmul();
#endif
    return way == EdcWay::tables;
}

std::uint32_t edc_update_by(EdcWay way, std::uint32_t edc, std::span<const std::uint8_t> bytes)
{
    return crc_update_by<edc_poly>(way, edc, bytes);
}

std::uint32_t edc_update(std::uint32_t edc, std::span<const std::uint8_t> bytes)
{
    return crc_update_by<edc_poly>(best_way(), edc, bytes);
}

std::uint32_t crc32_update_by(EdcWay way, std::uint32_t crc, std::span<const std::uint8_t> bytes)
{
    return ~crc_update_by<zip_poly>(way, ~crc, bytes);
}

std::uint32_t crc32_update(std::uint32_t crc, std::span<const std::uint8_t> bytes)
{
    return crc32_update_by(best_way(), crc, bytes);
}
