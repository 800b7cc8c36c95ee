#include "cli/driver.h"

#include <array>
#include <cstdint>
#include <new>

#include "cli/command_line.h"
#include "modes/modes.h"
#include "state/run_state.h"

namespace {

constexpr const char* banner_text = "Mivaro v1.5";

using Conversion = void (*)();
constexpr std::array<Conversion, 9> conversions = {
    cue2raw, cue2mpg, cue2dat, raw2mpg, raw2dat, dat2mpg, cif2mpg, mpg2mpg, mpg2dat,
};

// Every chunk and sector must fit the sector buffer and hold at least one byte.
void check_sector_override(std::uint32_t value, const char* text)
{
    if (value > sector_buffer_size) {
        say(text, static_cast<int>(value));
        end_run(1);
    }
}

}  // namespace

int run_program(int argc, const char* const* argv)
{
    int status = 0;
    try {
        say("\n%s\n", banner_text);
        parse_command_line(argc, argv);
        say("\n");
        check_sector_override(settings.read_sector_override,
                              "-r%d: the read sector size must be from 1 to 32705 bytes.\n");
        check_sector_override(settings.write_sector_override,
                              "-w%d: the write sector size must be from 1 to 32705 bytes.\n");
        unsigned conversion = static_cast<unsigned>(settings.mode) - 1u;
        if (conversion < conversions.size())
            conversions[conversion]();
        if (settings.initial_sequence_applied)
            say("\xfe initital sequence correction applied.\n");
        if (settings.fix_blocks)
            say("\xfe %ld MPEG block correction(s) applied.\n\n", static_cast<long>(settings.block_corrections));
        status = settings.exit_status;
    } catch (const RunEnd& end) {
        status = end.status;
    } catch (const std::bad_alloc&) {
        say("Not enough memory.\n");
        status = 1;
    }
    // Output already written stays on disk; nothing more is added after a
    // failed write, since the writer dropped its buffer then.
    io.output_file.close_quietly();
    io.input_file.close();
    io.cue_file.close();
    flush_stdout();
    return status;
}
