#include "modes/cue_records.h"

#include <algorithm>

#include "image/sheet_files.h"
#include "run/run_state.h"

namespace {

constexpr const char* size_warning_text = "\n** BIN size does not match size expected in CUE file. **\n\n";
constexpr const char* mode1_detected_text = "- Mode 1 detected: -fix option automatically disabled.\n";
constexpr const char* mode1_refused_lines[] = {
    "\nThere are no plans to support Mode 1 images. *True* VCDs are burned as Mode 2.\n",
    "If you still wish to extract the MPEG stream from the Mode 1 image,\n",
    "try the -cue2mpg option instead.\n",
    "NOTE: Mode 1 support in -cue2mpg not fully tested.\n",
};

// A sheet with at most one entry is only usable as a Mode 1 single-track
// image under -cue2mpg; its sectors carry 2048 bytes of user data each.
void use_single_mode1_track(const ParsedSheet& sheet)
{
    if (settings.mode != cue2mpg_mode) {
        for (const char* line : mode1_refused_lines)
            say("%s", line);
        end_run(1);
    }
    settings.highest_track = 1;
    settings.fix_blocks = 0;
    say("%s", mode1_detected_text);
    settings.read_sector_override = sheet.sector_size;
    settings.write_sector_override = mode1_data_size;
    TrackRecord& entry = track_table[1];
    entry.seconds = 1;
    entry.sector_size = sheet.sector_size;
    entry.start_offset = sheet.sector_size * static_cast<std::uint64_t>(sheet.last_position);
    entry.bin = track_table[0].bin;
    std::uint64_t size = bin_images[entry.bin].size;
    entry.end_offset = size / entry.sector_size * entry.sector_size;
}

}  // namespace

void read_cue_sheet()
{
    LoadedSheet loaded = load_cue_sheet(io.input_name);
    const ParsedSheet& sheet = loaded.sheet;
    bin_images = std::move(loaded.bins);
    std::copy(sheet.entries.begin(), sheet.entries.end(), track_table.begin());
    settings.highest_track = static_cast<std::int16_t>(static_cast<int>(sheet.entries.size()) - 1);
    if (sheet.entries.size() <= 1) {
        use_single_mode1_track(sheet);
        return;
    }
    std::vector<std::uint64_t> sizes;
    for (const BinImage& bin : bin_images)
        sizes.push_back(bin.size);
    if (set_entry_ends(std::span(track_table).first(sheet.entries.size()), sizes, sheet.end_cut))
        say("%s", size_warning_text);
}

void open_bin_image(std::size_t b)
{
    const BinImage& bin = bin_images[b];
    io.input_size = bin.size;
    if (io.input_file.is_open() && io.input_file.name() == bin.path)
        return;
    if (!io.input_file.open(bin.path)) {
        say_inaccessible(bin.path);
        end_run(1);
    }
}
