#include "cli/command_line.h"

#include <array>
#include <climits>
#include <cstdint>

#include "io/numbers.h"
#include "io/text.h"
#include "run/run_state.h"

namespace {

constexpr std::array usage_lines = {
    "Usage  :  Mivaro [options] [-track##] inputfile outputfile\n\n",
    "Options:  -cue2raw       .cue --> .raw  (.cue to .raw/.bin track image)\n",
    "          -cue2dat       .cue --> .dat\n",
    "          -cue2mpg       .cue --> .mpg\n",
    "          -raw2dat       .raw --> .dat  (.raw/.bin track image to .dat)\n",
    "          -raw2mpg       .raw --> .mpg\n",
    "          -cif2mpg       .cif --> .mpg\n",
    "          -mpg2mpg       .mpg --> .mpg\n",
    "          -mpg2dat       .mpg --> .dat\n",
    "          -dat2mpg       .dat --> .mpg\n",
    "          -disc2mpg      .cue/.bin --> folder (every movie, still and menu\n",
    "                         of a Video CD or SVCD, and its description)\n",
    "          -verify        .cue or .raw/.bin: check every sector, no output file\n\n",
    "          -track##       extract only track ## from a .cue/bin\n",
    "          -r####         force read of ####-byte sectors\n",
    "          -w####         force write of ####-byte sectors\n",
    "          -nobumper      removes CD-i MPEG sequence bumper\n",
    "          -fix           fix broken MPEG blocks during .mpg output\n\n",
    "A conversion option is needed: two file names alone do nothing (status 1).\n",
    "Exit status: 0 done, 1 failed, 128+N stopped by signal N. A failed or\n",
    "stopped run leaves no partial output; an older file of its name stays.\n",
};

constexpr const char* no_conversion_text = "\nNothing to do: a conversion option such as -cue2mpg is needed.\n";
constexpr const char* read_size_text = "\n-r%lld: the read sector size must be from 1 to 32705 bytes.\n";
constexpr const char* write_size_text = "\n-w%lld: the write sector size must be from 1 to 32705 bytes.\n";

struct ModeOption {
    std::string_view option;
    ConversionMode mode;
    OutputKind output;
    bool clears_fix;  // modes whose output is not an MPEG stream
};

// Tested in this order; a later mode option overrides an earlier one.
constexpr std::array<ModeOption, 11> mode_options = {{
    {"-cue2raw", cue2raw_mode, output_raw, true},
    {"-cue2mpg", cue2mpg_mode, output_mpg, false},
    {"-cue2dat", cue2dat_mode, output_dat, true},
    {"-raw2mpg", raw2mpg_mode, output_mpg, false},
    {"-raw2dat", raw2dat_mode, output_dat, true},
    {"-dat2mpg", dat2mpg_mode, output_mpg, false},
    {"-cif2mpg", cif2mpg_mode, output_mpg, false},
    {"-mpg2mpg", mpg2mpg_mode, output_mpg, false},
    {"-mpg2dat", mpg2dat_mode, output_dat, true},
    {"-disc2mpg", disc2mpg_mode, output_mpg, false},
    {"-verify", verify_mode, output_raw, true},
}};

// The number after an option's letters, read as atoi reads it but never
// wrapped: one too large even for 64 bits reads as the largest there is.
long long option_number(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value > (LLONG_MAX - 9) / 10 ? LLONG_MAX : value * 10 + (text[i] - '0');
    return negative ? -value : value;
}

// Every chunk and sector must fit the sector buffer and hold at least one
// byte; 0 means no override.
std::uint32_t sector_override(long long value, const char* refusal)
{
    if (value < 0 || value > sector_buffer_size) {
        say(refusal, value);
        end_run(1);
    }
    return static_cast<std::uint32_t>(value);
}

const char* default_input_extension(std::int16_t mode)
{
    if (mode <= cue2dat_mode || mode == verify_mode)
        return ".cue";
    switch (mode) {
    case raw2mpg_mode:
    case raw2dat_mode:
        return ".raw";
    case dat2mpg_mode:
        return ".dat";
    case cif2mpg_mode:
        return ".cif";
    default:
        return ".mpg";
    }
}

const char* default_output_extension(std::uint16_t kind)
{
    switch (kind) {
    case output_dat:
        return ".dat";
    case output_mpg:
        return ".mpg";
    default:
        return ".raw";
    }
}

}  // namespace

bool has_extension(std::string_view name)
{
    if (name.empty())
        return false;
    std::size_t i = name.size();
    if (name.back() == '\\')
        --i;
    while (i > 0) {
        --i;
        if (name[i] == '\\' || name[i] == '/')
            return false;
        if (name[i] == '.')
            return true;
    }
    return false;
}

void print_usage(int status)
{
    for (const char* line : usage_lines)
        say("%s", line);
    end_run(status);
}

void parse_command_line(int argc, const char* const* argv)
{
    for (int index = 1; index < argc; ++index)
        if (std::string_view(argv[index]) == "--help" || std::string_view(argv[index]) == "-h")
            print_usage(0);
    for (int index = 1; index < argc; ++index)
        if (std::string_view(argv[index]) == "--version")
            end_run(0);  // the banner is all it prints
    long long read_size = 0;
    long long write_size = 0;
    int names_taken = 0;
    for (int index = 1; index < argc; ++index) {
        std::string_view arg = argv[index];
        if (starts_folded(arg, "-track")) {
            if (arg.size() > 6) {
                settings.first_track = static_cast<std::int16_t>(leading_number(arg.substr(6)));
                settings.last_track = settings.first_track;
                ++settings.track_selected;
            }
            continue;
        }
        if (equals_folded(arg, "-fix")) {
            settings.fix_blocks = 1;
            continue;
        }
        bool was_mode = false;
        for (const ModeOption& option : mode_options) {
            if (equals_folded(arg, option.option)) {
                settings.mode = option.mode;
                settings.output_kind = option.output;
                if (option.clears_fix)
                    settings.fix_blocks = 0;
                was_mode = true;
                break;
            }
        }
        if (was_mode)
            continue;
        if (equals_folded(arg, "-nobumper")) {
            settings.remove_bumper = 1;
            settings.fix_blocks = 1;
            continue;
        }
        if (starts_folded(arg, "-r")) {
            if (arg.size() > 2)
                read_size = option_number(arg.substr(2));
            continue;
        }
        if (starts_folded(arg, "-w")) {
            if (arg.size() > 2)
                write_size = option_number(arg.substr(2));
            continue;
        }
        if (names_taken == 0) {
            io.input_name = arg;
            if (!has_extension(io.input_name) && settings.mode != disc2mpg_mode)
                io.input_name += default_input_extension(static_cast<std::int16_t>(settings.mode));
            names_taken = 1;
            // The check has no output file: its one name ends the command line.
            if (settings.mode == verify_mode)
                return;
        } else {
            io.output_name = arg;
            if (!has_extension(io.output_name) && settings.mode != disc2mpg_mode)
                io.output_name += default_output_extension(settings.output_kind);
            settings.read_sector_override = sector_override(read_size, read_size_text);
            settings.write_sector_override = sector_override(write_size, write_size_text);
            if (settings.mode == mode_none) {
                say("%s", no_conversion_text);
                end_run(1);
            }
            return;
        }
    }
    if (names_taken == 1 && settings.mode == verify_mode)
        return;
    print_usage(argc > 1 ? 1 : 0);
}
