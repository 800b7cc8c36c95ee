// Arbitrary argument vectors, run where real inputs of every kind exist so
// that conversions get going: a.raw, a.cif, a.mpg, a.dat and a.cue with its
// a.bin, so "a" finds an input under every conversion's default extension;
// big.raw is a raw image of just over 1 MiB.
// The subfolder d holds a sheet that names its BIN in capitals and
// relative to itself ("-cue2mpg d/a out").
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"

namespace {

constexpr std::size_t max_arguments = 12;

// Three entries: the data sector, then two tracks with MPEG packs.
constexpr const char* sample_sheet =
    "FILE \"a.bin\" BINARY\r\n"
    "  TRACK 01 MODE2/2352\r\n"
    "    INDEX 01 00:00:00\r\n"
    "  TRACK 02 MODE2/2352\r\n"
    "    INDEX 01 00:00:01\r\n"
    "  TRACK 03 MODE2/2352\r\n"
    "    INDEX 01 00:00:05\r\n";

constexpr const char* subfolder_sheet =
    "FILE DISC.BIN BINARY\n"
    "TRACK 01 MODE2/2352\n"
    "INDEX 01 00:00:00\n"
    "TRACK 02 MODE2/2352\n"
    "INDEX 01 00:00:02\n";

// Names stay inside the working folder: an argument that starts with '/'
// or has a ".." part gets '_' for each '/'.
void confine(std::string& arg)
{
    bool escapes = !arg.empty() && arg.front() == '/';
    for (std::size_t start = 0; start <= arg.size() && !escapes;) {
        std::size_t end = arg.find('/', start);
        if (end == std::string::npos)
            end = arg.size();
        escapes = arg.compare(start, end - start, "..") == 0;
        start = end + 1;
    }
    if (escapes)
        for (char& c : arg)
            if (c == '/')
                c = '_';
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::setup(argc, argv);
    std::string sheet = sample_sheet;
    fuzz::add_fixed_file("a.cue", Bytes(sheet.begin(), sheet.end()));
    fuzz::add_fixed_file("a.bin", fuzz::raw_image());
    fuzz::add_fixed_file("a.raw", fuzz::raw_image());
    fuzz::add_fixed_file("a.cif", fuzz::cif_image());
    fuzz::add_fixed_file("a.mpg", fuzz::mpeg_file());
    fuzz::add_fixed_file("a.dat", fuzz::dat_file());
    fuzz::add_fixed_file("big.raw", fuzz::big_raw_image());
    sheet = subfolder_sheet;
    fuzz::add_fixed_file("d/a.cue", Bytes(sheet.begin(), sheet.end()));
    fuzz::add_fixed_file("d/disc.bin", fuzz::raw_image());
    return 0;
}

// The input split at NUL bytes, one argument each.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        char c = static_cast<char>(data[i]);
        if (c == '\0') {
            if (args.size() == max_arguments)
                break;
            args.emplace_back();
        } else {
            args.back().push_back(c);
        }
    }
    if (size == 0)
        args.clear();
    for (std::string& arg : args)
        confine(arg);
    fuzz::begin_run();
    fuzz::run_mivaro(args);
    return 0;
}
