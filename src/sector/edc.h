// The CD-ROM error detection code (ECMA-130): a CRC-32 with the polynomial
// x^32+x^31+x^16+x^15+x^4+x^3+x+1, bits taken least significant first,
// starting from zero, with nothing added at the end. Stored on disc least
// significant byte first.
#pragma once

#include <cstdint>
#include <span>

// Carries edc on over the bytes: edc_update(0, all) is the EDC of all, and
// edc_update(edc_update(0, a), b) that of a then b. Uses carry-less multiply
// where the processor has it, edc_portable elsewhere.
std::uint32_t edc_update(std::uint32_t edc, std::span<const std::uint8_t> bytes);

// The same eight bytes a step through tables, on any processor.
std::uint32_t edc_portable(std::uint32_t edc, std::span<const std::uint8_t> bytes);
