// Arbitrary CUE sheet text against a small BIN of raw sectors, img.bin, or
// a larger one, big.bin. The last byte of the input is not part of the
// sheet: it chooses the conversion and the options given with it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"

namespace {

// Choice byte: bits 0-1 the conversion (cue2mpg twice as often), bit 2
// -fix, bit 3 -nobumper, bit 4 those two after the conversion option
// instead of before it (before it, -cue2raw and -cue2dat clear them
// again), bits 5-7 the -track option.
std::vector<std::string> arguments(std::uint8_t choice)
{
    static const char* const conversions[4] = {"-cue2mpg", "-cue2mpg", "-cue2raw", "-cue2dat"};
    static const char* const outputs[4] = {"out.mpg", "out.mpg", "out.raw", "out.dat"};
    static const char* const tracks[8] = {nullptr,   "-track0", "-track1",  "-track2",
                                          "-track3", "-track5", "-track-1", "-track99"};
    std::vector<std::string> flags;
    if (choice & 0x04)
        flags.emplace_back("-fix");
    if (choice & 0x08)
        flags.emplace_back("-nobumper");
    if (const char* track = tracks[choice >> 5])
        flags.emplace_back(track);

    std::vector<std::string> args;
    bool flags_after = choice & 0x10;
    if (!flags_after)
        args.insert(args.end(), flags.begin(), flags.end());
    args.emplace_back(conversions[choice & 3]);
    if (flags_after)
        args.insert(args.end(), flags.begin(), flags.end());
    args.emplace_back("sheet.cue");
    args.emplace_back(outputs[choice & 3]);
    return args;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::setup(argc, argv);
    fuzz::add_fixed_file("img.bin", fuzz::raw_image());
    fuzz::add_fixed_file("big.bin", fuzz::big_raw_image());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::uint8_t choice = size > 0 ? data[size - 1] : 0;
    // The sheet may name any file as its BIN. That file is only read; every
    // output name comes from the arguments below.
    fuzz::begin_run();
    fuzz::put_file("sheet.cue", data, size > 0 ? size - 1 : 0);
    fuzz::run_mivaro(arguments(choice));
    return 0;
}
