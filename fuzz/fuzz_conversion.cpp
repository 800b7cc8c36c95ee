// One single-file conversion of arbitrary input. The first byte chooses the
// conversion and its options; the rest is the input file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/scanner.h"
#include "fuzz_support.h"

namespace {

struct Conversion {
    const char* option;
    const char* input;
    const char* output;
};

constexpr Conversion conversions[6] = {
    {"-raw2mpg", "in.raw", "out.mpg"}, {"-cif2mpg", "in.cif", "out.mpg"}, {"-mpg2mpg", "in.mpg", "out.mpg"},
    {"-dat2mpg", "in.dat", "out.mpg"}, {"-raw2dat", "in.raw", "out.dat"}, {"-mpg2dat", "in.mpg", "out.dat"},
};

// Inputs made longer than the reader's 1 MiB buffer, so that chunks and
// scan blocks meet its end at every alignment the input length gives.
constexpr std::size_t tiled_size = (1u << 20) + 64 * 1024;

// The scanner's search against the plain one, on both start codes.
void check_find_pattern(const std::uint8_t* text, std::size_t size)
{
    static constexpr std::uint8_t pack_start[4] = {0x00, 0x00, 0x01, 0xBA};
    auto len = static_cast<std::int32_t>(std::min<std::size_t>(size, 5000));
    for (const std::uint8_t* pattern : {pack_start, end_code}) {
        const std::uint8_t* hit = std::search(text, text + len, pattern, pattern + 4);
        std::int32_t want = hit == text + len ? -1 : static_cast<std::int32_t>(hit - text);
        std::int32_t got = find_pattern(text, pattern, len, 4);
        if (got != want) {
            std::fprintf(stderr, "find_pattern gave %d for the code ending in %02X; first occurrence: %d\n", got,
                         pattern[3], want);
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::setup(argc, argv);
    return 0;
}

// Choice byte: bits 0-5 taken modulo 48 give the conversion (modulo 6),
// then one bit each for -fix, -nobumper, and whether those two come after
// the conversion option (before it, -raw2dat and -mpg2dat clear them
// again). Bits 6 and 7 both set repeat the input until it is just over
// 1 MiB long; such runs are slow, so only a quarter of the values do.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    check_find_pattern(data + 1, size - 1);

    unsigned choice = (data[0] & 0x3F) % 48u;
    const Conversion& c = conversions[choice % 6];
    std::vector<std::string> flags;
    if ((choice / 6) & 1)
        flags.emplace_back("-fix");
    if ((choice / 12) & 1)
        flags.emplace_back("-nobumper");
    bool flags_after = (choice / 24) & 1;

    std::vector<std::string> args;
    if (!flags_after)
        args.insert(args.end(), flags.begin(), flags.end());
    args.emplace_back(c.option);
    if (flags_after)
        args.insert(args.end(), flags.begin(), flags.end());
    args.emplace_back(c.input);
    args.emplace_back(c.output);

    fuzz::begin_run();
    if ((data[0] & 0xC0) == 0xC0 && size > 1) {
        std::size_t n = size - 1;
        static Bytes tiled;
        tiled.resize((tiled_size + n - 1) / n * n);
        std::copy(data + 1, data + size, tiled.begin());
        for (std::size_t done = n; done < tiled.size(); done *= 2)
            std::copy_n(tiled.begin(), std::min(done, tiled.size() - done), tiled.begin() + static_cast<std::ptrdiff_t>(done));
        fuzz::put_file(c.input, tiled.data(), tiled.size());
    } else {
        fuzz::put_file(c.input, data + 1, size - 1);
    }
    fuzz::run_mivaro(args);
    return 0;
}
