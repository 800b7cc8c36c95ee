// Splitting a CUE/BIN image into per-track raw images, .dat files or MPEG
// streams: one procedure, three rows of differences.
#include "run/option_summary.h"
#include "modes/cue_records.h"
#include "modes/track_table.h"
#include "engine/copy_engine.h"
#include "engine/mode2.h"
#include "engine/scanner.h"
#include "modes/modes.h"
#include "run/run_state.h"

namespace {

struct CueMode {
    const char* destination_text;
    const char* method_text;
    bool mpeg_output;      // copies user data from the first pack header on
    bool whole_image_scan;  // proves the BIN holds MPEG before any track
    bool dat_output;
    const char* completion_text;
};

constexpr CueMode cue2raw_row = {"RAW image destination --> %s\n", "Extraction method --> cue2raw\n", false, false,
                                 false, "\n\xfe completed. Track(s) written.\n\n"};
constexpr CueMode cue2dat_row = {"VCD DAT destination --> %s\n", "Extraction method --> cue2dat\n", false, true,
                                 true, "\xfe completed. Track(s) written.\n\n"};
constexpr CueMode cue2mpg_row = {"MPEG destination --> %s\n", "Extraction method --> cue2mpg\n", true, false,
                                 false, "\xfe completed. Track(s) written.\n\n"};

constexpr const char* track_writing_text = "\xfe                 Track %d -> writing...\r";
constexpr const char* track_searching_text = "\xfe                 Track %d -> searching \r";
constexpr const char* track_create_failed_text = "\xfe ERROR: could not write Track %d       \n";
constexpr const char* dat_sector_size_text =
    "Track %d has %u-byte sectors: a DAT file holds sectors of %u bytes.\n";
constexpr const char* no_mpeg_text = "\n\nCould not find MPEG stream in BIN file.\n";
constexpr const char* too_large_write_text =
    "Track %d: write size of %u bytes is larger than its read size of %u bytes.\n";

// Sets the engine's sizes for entry t.
void set_track_sizes(const CueMode& row, int t)
{
    const TrackRecord& entry = track_table[static_cast<std::size_t>(t)];
    io.sector_size = settings.read_sector_override ? settings.read_sector_override : entry.sector_size;
    // A write size applies to each sector, so the copy then reads one at a time.
    bool single_sectors = row.mpeg_output || settings.write_sector_override;
    io.read_chunk = single_sectors ? io.sector_size : multi_sector_chunk(io.sector_size);
    if (settings.write_sector_override)
        io.write_chunk = settings.write_sector_override;
    else if (!row.mpeg_output)
        io.write_chunk = io.read_chunk;
    else if (!settings.read_sector_override && io.sector_size < form2_data_size)
        io.write_chunk = io.sector_size;  // a Mode 1 entry: every byte is user data
    else
        io.write_chunk = form2_data_size;
}

void refuse_unread_track_writes(const CueMode& row)
{
    for (int t = settings.first_track; t <= settings.last_track; ++t) {
        set_track_sizes(row, t);
        if (row.dat_output && io.sector_size != raw_sector_size) {
            say(dat_sector_size_text, t, io.sector_size, raw_sector_size);
            end_run(1);
        }
        if (io.write_chunk > io.read_chunk) {
            say(too_large_write_text, t, io.write_chunk, io.read_chunk);
            end_run(1);
        }
    }
}

// Returns whether the entry held MPEG data.
bool copy_track(const CueMode& row, int t)
{
    const TrackRecord& entry = track_table[static_cast<std::size_t>(t)];
    open_bin_image(entry.bin);
    settings.input_pos = entry.start_offset;
    if (!row.mpeg_output) {
        say(track_writing_text, t);
        if (row.dat_output)
            io.output_file.write(dat_header);
        copy_stream(entry.end_offset, Framing::plain_bytes, true);
        return true;
    }
    say(track_searching_text, t);
    if (scan_for_pattern(io.input_file, settings.pack_start_code.data(), entry.end_offset, true)) {
        say(track_writing_text, t);
        copy_stream(entry.end_offset);
        return true;
    }
    io.output_file.close();  // a track without MPEG leaves an empty file
    return false;
}

// The BINs in turn until one holds a pack header.
bool any_bin_holds_mpeg()
{
    say("\xfe                 -> searching \r");
    for (std::size_t b = 0; b < bin_images.size(); ++b) {
        open_bin_image(b);
        settings.input_pos = 0;
        if (scan_for_pattern(io.input_file, settings.pack_start_code.data(), io.input_size, true))
            return true;
    }
    return false;
}

void run_cue_mode(const CueMode& row)
{
    say("CUE source --> %s\n", io.input_name.c_str());
    say(row.destination_text, io.output_name.c_str());
    say("%s", row.method_text);
    read_cue_sheet();
    print_option_summary();
    print_track_table();
    resolve_track_range();
    refuse_unread_track_writes(row);
    output_name_template = io.output_name;

    if (row.whole_image_scan && !any_bin_holds_mpeg()) {
        say("%s", no_mpeg_text);
        end_run(1);
    }
    bool searched = false, found = false;
    for (int t = settings.first_track; t <= settings.last_track; ++t) {
        if (settings.last_track > 1 && !settings.track_selected)
            make_track_filename(t);
        if (!io.output_file.open(io.output_name)) {
            say(track_create_failed_text, t);
            settings.exit_status = 1;
            continue;
        }
        set_track_sizes(row, t);
        searched = true;
        found = copy_track(row, t) || found;
    }
    if (row.mpeg_output && searched && !found) {
        io.input_file.close();
        say("%s", no_mpeg_text);
        end_run(1);
    }
    say_text(row.completion_text);
    io.input_file.close();
}

}  // namespace

void cue2raw()
{
    run_cue_mode(cue2raw_row);
}

void cue2dat()
{
    run_cue_mode(cue2dat_row);
}

void cue2mpg()
{
    run_cue_mode(cue2mpg_row);
}
