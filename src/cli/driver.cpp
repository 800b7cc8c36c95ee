#include "cli/driver.h"

#include <new>

#include "cli/command_line.h"
#include "cli/mode_table.h"
#include "io/file_identity.h"
#include "run/run_state.h"

namespace {

constexpr const char* banner_text = "Mivaro v1.5";


}  // namespace

int run_program(int argc, const char* const* argv)
{
    int status = 0;
    forget_run_inputs();
    try {
        say("\n%s\n", banner_text);
        ModeArgs args = parse_command_line(argc, argv);
        say("\n");
        if (const ModeRow* row = mode_row(settings.mode))
            row->run_with ? row->run_with(args) : row->run();
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
