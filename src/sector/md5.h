// MD5 (RFC 1321), with a way to carry two streams over the same bytes at
// once. Processors have no MD5 instructions, and one stream is a single
// chain of dependent additions that keeps most of a core waiting; two
// interleaved chains cost little more than one. -verify -hash needs two:
// a track's file and the whole disc.
#pragma once

#include <array>
#include <cstdint>
#include <span>

struct Md5Stream {
    std::array<std::uint32_t, 4> state{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    std::array<std::uint8_t, 64> held{};  // the bytes of a block not yet complete
    std::uint64_t length = 0;
};

void md5_update(Md5Stream& s, std::span<const std::uint8_t> bytes);
// The same bytes appended to both streams.
void md5_update_both(Md5Stream& a, Md5Stream& b, std::span<const std::uint8_t> bytes);
std::array<std::uint8_t, 16> md5_digest(Md5Stream s);
