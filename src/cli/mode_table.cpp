#include "cli/mode_table.h"

#include "modes/modes.h"

namespace {

// Each line follows the usage text's left column of ten.

constexpr const char* cue2raw_usage[] = {"-cue2raw       .cue --> .raw  (.cue to .raw/.bin track image)\n"};
constexpr const char* cue2dat_usage[] = {"-cue2dat       .cue --> .dat\n"};
constexpr const char* cue2mpg_usage[] = {"-cue2mpg       .cue --> .mpg\n"};
constexpr const char* raw2dat_usage[] = {"-raw2dat       .raw --> .dat  (.raw/.bin track image to .dat)\n"};
constexpr const char* raw2mpg_usage[] = {"-raw2mpg       .raw --> .mpg\n"};
constexpr const char* cif2mpg_usage[] = {"-cif2mpg       .cif --> .mpg\n"};
constexpr const char* mpg2mpg_usage[] = {"-mpg2mpg       .mpg --> .mpg\n"};
constexpr const char* mpg2dat_usage[] = {"-mpg2dat       .mpg --> .dat\n"};
constexpr const char* dat2mpg_usage[] = {"-dat2mpg       .dat --> .mpg\n"};
constexpr const char* disc2mpg_usage[] = {
    "-disc2mpg      disc --> folder (every movie, still and menu of a\n",
    "               Video CD or SVCD, and its description)\n",
};
constexpr const char* disc2bin_usage[] = {
    "-disc2bin      disc [disc ...] --> .cue (+ .bin, .map): one whole\n",
    "               image from every read of a disc, sector by sector; the\n",
    "               .map marks what is still damaged, a new run adds to it\n",
};
constexpr const char* verify_usage[] = {
    "-verify        disc or .raw/.bin: check every sector, no output\n",
    "               (a disc: .cue/.bin, .toc, .nrg, .ccd, .mds, .chd,\n",
    "               a bare .bin/.img/.iso image, or a drive such as\n",
    "               /dev/sr0)\n",
    "-verify -hash  and each track's CRC-32, MD5 and SHA-1 as redump gives\n",
    "               them; -verify disc file.dat looks the disc up in a DAT\n\n",
};

}  // namespace

const std::array<ModeRow, 12> mode_rows = {{
    {"-cue2raw", cue2raw_mode, output_raw, true, ".cue", cue2raw_usage, cue2raw},
    {"-cue2dat", cue2dat_mode, output_dat, true, ".cue", cue2dat_usage, cue2dat},
    {"-cue2mpg", cue2mpg_mode, output_mpg, false, ".cue", cue2mpg_usage, cue2mpg},
    {"-raw2dat", raw2dat_mode, output_dat, true, ".raw", raw2dat_usage, raw2dat},
    {"-raw2mpg", raw2mpg_mode, output_mpg, false, ".raw", raw2mpg_usage, raw2mpg},
    {"-cif2mpg", cif2mpg_mode, output_mpg, false, ".cif", cif2mpg_usage, cif2mpg},
    {"-mpg2mpg", mpg2mpg_mode, output_mpg, false, ".mpg", mpg2mpg_usage, mpg2mpg},
    {"-mpg2dat", mpg2dat_mode, output_dat, true, ".mpg", mpg2dat_usage, mpg2dat},
    {"-dat2mpg", dat2mpg_mode, output_mpg, false, ".dat", dat2mpg_usage, dat2mpg},
    {"-disc2mpg", disc2mpg_mode, output_mpg, false, nullptr, disc2mpg_usage, disc2mpg},
    {"-disc2bin", disc2bin_mode, output_raw, true, nullptr, disc2bin_usage, nullptr, disc2bin},
    {"-verify", verify_mode, output_raw, true, ".cue", verify_usage, nullptr, verify},
}};

const ModeRow* mode_row(std::uint16_t mode)
{
    for (const ModeRow& row : mode_rows)
        if (row.mode == mode)
            return &row;
    return nullptr;
}
