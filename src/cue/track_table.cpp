#include "cue/track_table.h"

#include <cstdio>

#include "state/run_state.h"

void print_track_table()
{
    say(" Track #     mm:ss.ff     Sector Size          LBA Start        LBA End    \n");
    for (int i = 0; i <= settings.highest_track; ++i) {
        const TrackRecord& entry = track_table[static_cast<std::size_t>(i)];
        // "LBA" columns hold byte offsets into the BIN.
        say("    %d        %.2d:%.2d.%.2d     %.4d bytes/sector    %9llu      %9llu\n", i, entry.minutes,
            entry.seconds, entry.frames, static_cast<int>(entry.sector_size),
            static_cast<unsigned long long>(entry.start_offset), static_cast<unsigned long long>(entry.end_offset));
    }
    say("\n");
}

void resolve_track_range()
{
    if (!settings.track_selected) {
        // Entry 0, the data track of a Video CD, is only extracted on request.
        settings.first_track = 1;
        settings.last_track = settings.highest_track;
        return;
    }
    if (settings.first_track > settings.highest_track || settings.first_track < 0) {
        say("\xfe Track %d does not exist.\n\n", settings.first_track);
        end_run(1);
    }
}

void make_track_filename(int t)
{
    std::string name = output_name_template;
    // The last '.' of the whole name, even inside a folder name.
    std::size_t dot = name.rfind('.');
    std::string extension;
    if (dot != std::string::npos) {
        extension = name.substr(dot);
        name.resize(dot);
    }
    char number[16];
    std::snprintf(number, sizeof number, "%.2d", t);
    number[2] = '\0';
    io.output_name = name + number + extension;
}
