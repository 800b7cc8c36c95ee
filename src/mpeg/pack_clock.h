// The system clock reference of an MPEG pack header, MPEG-1 or MPEG-2.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

// The clock in 90 kHz ticks of a pack header at the start of bytes, or
// nothing when they do not start with one.
std::optional<std::uint64_t> pack_clock(std::span<const std::uint8_t> bytes);
