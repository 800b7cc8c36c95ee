#include "modes/track_table.h"

#include <cstdio>

#include "run/run_state.h"

void print_track_table()
{
    // With several BINs a last column says which BIN an entry's offsets
    // count in, and the BINs are listed under the table.
    bool several = bin_images.size() > 1;
    say(" Track #     mm:ss.ff     Sector Size          LBA Start        LBA End    %s\n", several ? "BIN" : "");
    for (int i = 0; i <= settings.highest_track; ++i) {
        const TrackRecord& entry = track_table[static_cast<std::size_t>(i)];
        // "LBA" columns hold byte offsets into the BIN.
        say("    %d        %.2d:%.2d.%.2d     %.4d bytes/sector    %9llu      %9llu", i, entry.minutes,
            entry.seconds, entry.frames, static_cast<int>(entry.sector_size),
            static_cast<unsigned long long>(entry.start_offset), static_cast<unsigned long long>(entry.end_offset));
        if (several)
            say("   %3d", entry.bin + 1);
        say("\n");
    }
    for (std::size_t b = 0; several && b < bin_images.size(); ++b)
        say("  BIN %zu: %s\n", b + 1, bin_images[b].path.c_str());
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
    // Only the last path component is numbered, before its last '.'.
    std::size_t folder_end = name.find_last_of("/\\");
    std::size_t dot = name.rfind('.');
    if (folder_end != std::string::npos && dot != std::string::npos && dot < folder_end)
        dot = std::string::npos;
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
