#include "cli/command_line.h"

#include <array>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>
#include <sys/stat.h>

#include "cli/mode_table.h"
#include "io/numbers.h"
#include "io/text.h"
#include "run/run_state.h"

namespace {

constexpr const char* usage_head = "Usage  :  Mivaro [options] [-track##] inputfile outputfile\n"
                                   "          Mivaro -verify [-hash] inputfile [file.dat]\n\n";
constexpr const char* options_column = "Options:  ";
constexpr const char* blank_column = "          ";
constexpr std::array usage_tail = {
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

// The extension an input name without one gets: the mode's own, ".cue"
// before any mode is named. The check reads a name that exists as it is
// named (a bare image, a drive); it gets ".cue" only where it does not.
std::string input_name(std::string_view arg, std::uint16_t mode)
{
    std::string name(arg);
    const ModeRow* row = mode_row(mode);
    const char* extension = row ? row->input_extension : ".cue";
    struct stat st {};
    bool exists = ::stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
    if (extension && !has_extension(name) && !(mode == verify_mode && exists))
        name += extension;
    return name;
}

// A device or a FIFO is written to as it is named (/dev/null, a pipe).
bool names_device(const std::string& name)
{
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 && (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) || S_ISFIFO(st.st_mode));
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
    say("%s", usage_head);
    const char* column = options_column;
    for (const ModeRow& row : mode_rows)
        for (const char* line : row.usage) {
            say("%s%s", column, line);
            column = blank_column;
        }
    for (const char* line : usage_tail)
        say("%s", line);
    end_run(status);
}

ModeArgs parse_command_line(int argc, const char* const* argv)
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
    ModeArgs args;
    std::vector<std::string>& names = args.names;
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
        if (equals_folded(arg, "-hash")) {
            args.hash_tracks = true;
            continue;
        }
        if (equals_folded(arg, "-fix")) {
            settings.fix_blocks = 1;
            continue;
        }
        bool was_mode = false;
        for (const ModeRow& option : mode_rows) {
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
            io.input_name = input_name(arg, settings.mode);
            names.push_back(io.input_name);
            names_taken = 1;
        } else if (settings.mode == verify_mode) {
            // The check has no output file: a second name is a DAT, and ends
            // the command line.
            names.emplace_back(arg);
            return args;
        } else if (settings.mode == disc2bin_mode) {
            // Every name is a read of the disc until the last, the sheet to write.
            names.emplace_back(arg);
        } else {
            io.output_name = arg;
            if (!has_extension(io.output_name) && settings.mode != disc2mpg_mode && !names_device(io.output_name))
                io.output_name += default_output_extension(settings.output_kind);
            settings.read_sector_override = sector_override(read_size, read_size_text);
            settings.write_sector_override = sector_override(write_size, write_size_text);
            if (settings.mode == mode_none) {
                say("%s", no_conversion_text);
                end_run(1);
            }
            names.push_back(io.output_name);
            return args;
        }
    }
    if (names_taken == 1 && settings.mode == verify_mode)
        return args;
    if (settings.mode == disc2bin_mode && names.size() >= 2) {
        if (!has_extension(names.back()))
            names.back() += ".cue";
        io.output_name = names.back();
        settings.read_sector_override = sector_override(read_size, read_size_text);
        settings.write_sector_override = sector_override(write_size, write_size_text);
        return args;
    }
    print_usage(argc > 1 ? 1 : 0);
}
