// Numbers as the command line and CUE sheets write them.
#pragma once

#include <cstdint>
#include <string_view>

// The number at the start of text, read the way C's atoi reads it: leading
// blanks, an optional sign, then digits up to the first other character; 0
// when there are none.
std::int32_t leading_number(std::string_view text);
