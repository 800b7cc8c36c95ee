// The sheet and its BIN images on disk: reading the sheet whole, finding
// each BIN and filling the track table.
#include <algorithm>
#include <filesystem>

#include "image/cue_sheet.h"
#include "io/text.h"

namespace {

constexpr const char* sheet_open_failed_text = "%s could not be opened or accessed.\nFile may not exist.\n\n";
constexpr const char* sheet_too_large_text = "%s is larger than 1 MiB: too large for a CUE sheet.\n\n";
constexpr const char* bin_open_failed_text = "%s could not be opened or accessed.\n";
constexpr const char* bin_name_hint_text = "The filename specified inside the CUE file could be wrong\n\n";
constexpr const char* disc_sheet_refused_text = "%s, %s\n";
constexpr const char* size_warning_text = "\n** BIN size does not match size expected in CUE file. **\n\n";
constexpr const char* mode1_detected_text = "- Mode 1 detected: -fix option automatically disabled.\n";
constexpr const char* mode1_refused_lines[] = {
    "\nThere are no plans to support Mode 1 images. *True* VCDs are burned as Mode 2.\n",
    "If you still wish to extract the MPEG stream from the Mode 1 image,\n",
    "try the -cue2mpg option instead.\n",
    "NOTE: Mode 1 support in -cue2mpg not fully tested.\n",
};

std::string sheet_folder(std::string_view sheet_path)
{
    std::size_t slash = sheet_path.rfind('/');
    return std::string(slash == std::string_view::npos ? "" : sheet_path.substr(0, slash + 1));
}

std::string_view base_name(std::string_view name)
{
    std::size_t separator = name.find_last_of("/\\");
    return separator == std::string_view::npos ? name : name.substr(separator + 1);
}

// The one file beside the sheet whose name is base in any letter case; none
// when there are two or more.
std::string case_blind_match(const std::string& folder, const std::string& base)
{
    std::string found;
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator(folder.empty() ? "." : folder, error)) {
        std::string name = item.path().filename().string();
        if (equals_folded(name, base)) {
            if (!found.empty())
                return {};
            found = folder + name;
        }
    }
    return found;
}

BinImage open_bin(const std::string& sheet_path, const std::string& written)
{
    std::vector<std::string> tries = bin_candidates(sheet_path, written);
    bool opened = false;
    for (const std::string& path : tries)
        if ((opened = io.input_file.open(path)))
            break;
    if (!opened) {
        std::string match = case_blind_match(sheet_folder(sheet_path), std::string(base_name(written)));
        opened = !match.empty() && io.input_file.open(match);
    }
    if (!opened) {
        say(bin_open_failed_text, rewrite_bin_name(written).c_str());
        say("%s", bin_name_hint_text);
        end_run(1);
    }
    return {io.input_file.name(), file_size(io.input_file)};
}

}  // namespace

std::string read_sheet_text(const std::string& path)
{
    if (!io.cue_file.open(path)) {
        say(sheet_open_failed_text, path.c_str());
        end_run(1);
    }
    std::string text;
    if (!read_whole(io.cue_file, max_sheet_size, text)) {
        say(sheet_too_large_text, path.c_str());
        end_run(1);
    }
    io.cue_file.close();
    return text;
}

namespace {

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

std::vector<std::string> bin_candidates(std::string_view sheet_path, std::string_view name)
{
    std::string folder = sheet_folder(sheet_path);
    std::string written(name);
    std::string rewritten = rewrite_bin_name(written);
    std::vector<std::string> paths;
    auto add = [&paths](std::string path) {
        if (std::find(paths.begin(), paths.end(), path) == paths.end())
            paths.push_back(std::move(path));
    };
    for (const std::string& from : {folder, std::string()})
        for (const std::string* n : {&written, &rewritten})
            add(n->starts_with('/') ? *n : from + *n);
    add(folder + std::string(base_name(name)));
    return paths;
}

LoadedSheet load_cue_sheet(const std::string& sheet_path, bool one_track_disc)
{
    LoadedSheet loaded{parse_cue_sheet(read_sheet_text(sheet_path)), {}};
    if (one_track_disc && !loaded.sheet.disc_error.empty()) {
        say(disc_sheet_refused_text, sheet_path.c_str(), loaded.sheet.disc_error.c_str());
        end_run(1);
    }
    for (const std::string& name : loaded.sheet.bins)
        loaded.bins.push_back(open_bin(sheet_path, name));
    if (!loaded.sheet.error.empty() && !(one_track_disc && loaded.sheet.one_track)) {
        say("%s", loaded.sheet.error.c_str());
        end_run(1);
    }
    return loaded;
}

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
        say(bin_open_failed_text, bin.path.c_str());
        end_run(1);
    }
}
