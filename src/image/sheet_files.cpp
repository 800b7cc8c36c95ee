// The sheet and its BIN images on disk: reading the sheet whole, finding
// and measuring each BIN.
#include "image/sheet_files.h"

#include <algorithm>
#include <filesystem>

#include "io/input_file.h"
#include "io/report.h"
#include "io/text.h"

namespace {

constexpr const char* sheet_open_failed_text = "%s could not be opened or accessed.\nFile may not exist.\n\n";
constexpr const char* sheet_too_large_text = "%s is larger than 1 MiB: too large for a CUE sheet.\n\n";
constexpr const char* bin_name_hint_text = "The filename specified inside the CUE file could be wrong\n\n";
constexpr const char* disc_sheet_refused_text = "%s, %s\n";

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

BinImage find_bin(const std::string& sheet_path, const std::string& written)
{
    std::vector<std::string> tries = bin_candidates(sheet_path, written);
    tries.push_back(case_blind_match(sheet_folder(sheet_path), std::string(base_name(written))));
    for (const std::string& path : tries)
        if (std::optional<std::uint64_t> size = path.empty() ? std::nullopt : input_file_size(path))
            return {path, *size};
    say_inaccessible(rewrite_bin_name(written));
    say("%s", bin_name_hint_text);
    end_run(1);
}

}  // namespace

std::string read_sheet_text(const std::string& path)
{
    std::string text;
    switch (read_small_file(path, max_sheet_size, text)) {
    case WholeFile::unopenable:
        say(sheet_open_failed_text, path.c_str());
        end_run(1);
    case WholeFile::too_large:
        say(sheet_too_large_text, path.c_str());
        end_run(1);
    case WholeFile::read:
        break;
    }
    return text;
}

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
        loaded.bins.push_back(find_bin(sheet_path, name));
    if (!loaded.sheet.error.empty() && !(one_track_disc && loaded.sheet.one_track)) {
        say("%s", loaded.sheet.error.c_str());
        end_run(1);
    }
    return loaded;
}
