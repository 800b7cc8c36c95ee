#include "cli/driver.h"

#include <array>
#include <new>

#include "cli/command_line.h"
#include "modes/modes.h"
#include "io/file_identity.h"
#include "run/run_state.h"

namespace {

constexpr const char* banner_text = "Mivaro v1.5";

using Conversion = void (*)();
constexpr std::array<Conversion, 11> conversions = {
    cue2raw, cue2mpg, cue2dat, raw2mpg, raw2dat, dat2mpg, cif2mpg, mpg2mpg, mpg2dat, disc2mpg, verify,
};

}  // namespace

int run_program(int argc, const char* const* argv)
{
    int status = 0;
    forget_run_inputs();
    try {
        say("\n%s\n", banner_text);
        parse_command_line(argc, argv);
        say("\n");
        unsigned conversion = static_cast<unsigned>(settings.mode) - 1u;
        if (conversion < conversions.size())
            conversions[conversion]();
        io.output_file.close();
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
    // An output still open here belongs to a run that failed: it is dropped,
    // and a file that had its name before stays as it was.
    io.output_file.abandon();
    io.input_file.close();
    io.cue_file.close();
    flush_stdout();
    return status;
}
