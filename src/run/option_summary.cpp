#include "run/option_summary.h"

#include "io/report.h"
#include "run/run_state.h"

void print_option_summary()
{
    if (settings.fix_blocks)
        say("- Fix broken MPEG blocks enabled.\n");
    if (settings.remove_bumper)
        say("- Remove CD-i bumper from file.\n");
    if (settings.read_sector_override)
        say("- User defined read sector size: %d bytes\n", static_cast<int>(settings.read_sector_override));
    if (settings.write_sector_override)
        say("- User defined write sector size: %d bytes\n", static_cast<int>(settings.write_sector_override));
    if (settings.track_selected)
        say("- Selected track #%d\n", settings.first_track);
    say("\n");
}
