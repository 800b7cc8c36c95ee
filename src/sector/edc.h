// The CD-ROM error detection code (ECMA-130): a CRC-32 with the polynomial
// x^32+x^31+x^16+x^15+x^4+x^3+x+1, bits taken least significant first,
// starting from zero, with nothing added at the end. Stored on disc least
// significant byte first.
#pragma once

#include <cstdint>
#include <span>

// Carries edc on over the bytes: edc_update(0, all) is the EDC of all, and
// edc_update(edc_update(0, a), b) that of a then b. Takes the fastest way
// this processor has.
std::uint32_t edc_update(std::uint32_t edc, std::span<const std::uint8_t> bytes);

// The ways there are, for the tests to hold each against the definition:
// eight bytes a step through tables on any processor, or carry-less multiply
// folding 128 or 512 bits at a time (x86-64 with PCLMULQDQ, or with
// VPCLMULQDQ and AVX-512). The 128-bit way leaves the last bytes short of 16
// to the tables; each leaves lengths short of its first step (64 and 256
// bytes) to the way below.
enum class EdcWay { tables, clmul128, clmul512 };
bool edc_way_usable(EdcWay way);
// edc_update by that way, or the best this processor has below it.
std::uint32_t edc_update_by(EdcWay way, std::uint32_t edc, std::span<const std::uint8_t> bytes);
// The tables' way.
std::uint32_t edc_portable(std::uint32_t edc, std::span<const std::uint8_t> bytes);

// The CRC-32 of zip files and zlib's crc32 (polynomial 0x04C11DB7, bits
// least significant first, inverted before and after) carried on the same
// ways: crc32_update(0, all) is the CRC-32 of all.
std::uint32_t crc32_update(std::uint32_t crc, std::span<const std::uint8_t> bytes);
std::uint32_t crc32_update_by(EdcWay way, std::uint32_t crc, std::span<const std::uint8_t> bytes);
