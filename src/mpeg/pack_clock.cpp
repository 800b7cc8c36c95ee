#include "mpeg/pack_clock.h"

std::optional<std::uint64_t> pack_clock(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 12 || bytes[0] != 0x00 || bytes[1] != 0x00 || bytes[2] != 0x01 || bytes[3] != 0xBA)
        return std::nullopt;
    const std::uint8_t* p = bytes.data() + 4;
    // MPEG-1 packs mark their 33-bit clock with 0010 in the first four bits;
    // MPEG-2 packs with 01 and add a 27 MHz extension, which counts below one
    // 90 kHz tick and is left out. Both keep the three top bits of the clock
    // in the first byte and marker bits between the 15-bit pieces after it.
    if ((p[0] & 0xF0) == 0x20)
        return (std::uint64_t{p[0] & 0x0Eu} << 29) | (std::uint64_t{p[1]} << 22) | (std::uint64_t{p[2] & 0xFEu} << 14) |
               (std::uint64_t{p[3]} << 7) | (std::uint64_t{p[4]} >> 1);
    if ((p[0] & 0xC0) == 0x40)
        return (std::uint64_t{p[0] & 0x38u} << 27) | (std::uint64_t{p[0] & 0x03u} << 28) |
               (std::uint64_t{p[1]} << 20) | (std::uint64_t{p[2] & 0xF8u} << 12) | (std::uint64_t{p[2] & 0x03u} << 13) |
               (std::uint64_t{p[3]} << 5) | (std::uint64_t{p[4]} >> 3);
    return std::nullopt;
}
