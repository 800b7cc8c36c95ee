#include "cue/disc_image.h"

#include <strings.h>

#include "cue/cue_sheet.h"
#include "state/run_state.h"

namespace {

constexpr const char* image_open_failed_text = "%s could not be opened.\nFile could be missing.\n\n";
constexpr const char* sector_size_text =
    "Track %d has %u-byte sectors: a whole disc is read from images of %u-byte sectors.\n";
constexpr const char* empty_image_text = "%s holds no whole sector.\n";
constexpr const char* outside_text = "Disc sector %u lies outside the image.\n";

}  // namespace

bool is_cue_sheet_name(const std::string& name)
{
    return name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".cue") == 0;
}

DiscImage disc_image_of_bins(const std::vector<std::uint64_t>& bin_sizes)
{
    DiscImage image;
    for (std::size_t b = 0; b < bin_sizes.size(); ++b) {
        std::uint64_t sectors = bin_sizes[b] / raw_sector_size;
        if (sectors == 0)
            continue;
        image.runs.push_back({image.sectors, static_cast<std::uint32_t>(sectors), static_cast<std::uint16_t>(b), 0});
        // Each BIN is below 4 GiB, and 99 of them stay below 2^32 sectors.
        image.sectors += static_cast<std::uint32_t>(sectors);
    }
    return image;
}

DiscImage open_disc_image()
{
    if (is_cue_sheet_name(io.input_name)) {
        read_cue_sheet();
        for (int t = 0; t <= settings.highest_track; ++t) {
            std::uint32_t size = track_table[static_cast<std::size_t>(t)].sector_size;
            if (size != raw_sector_size) {
                say(sector_size_text, t, size, raw_sector_size);
                end_run(1);
            }
        }
    } else {
        if (!io.input_file.open(io.input_name)) {
            say(image_open_failed_text, io.input_name.c_str());
            end_run(1);
        }
        bin_images.push_back({io.input_file.name(), file_size(io.input_file)});
    }
    std::vector<std::uint64_t> sizes;
    for (const BinImage& bin : bin_images)
        sizes.push_back(bin.size);
    DiscImage image = disc_image_of_bins(sizes);
    if (image.sectors == 0) {
        say(empty_image_text, io.input_name.c_str());
        end_run(1);
    }
    return image;
}

const DiscRun* run_of(const DiscImage& image, std::uint32_t lsn)
{
    for (const DiscRun& run : image.runs)
        if (lsn >= run.first_lsn && lsn - run.first_lsn < run.sectors)
            return &run;
    return nullptr;
}

const std::uint8_t* read_disc_sector(const DiscImage& image, std::uint32_t lsn)
{
    const DiscRun* run = run_of(image, lsn);
    if (!run) {
        say(outside_text, static_cast<unsigned>(lsn));
        end_run(1);
    }
    open_bin_image(run->bin);
    return io.input_file.need(run->offset + std::uint64_t{lsn - run->first_lsn} * raw_sector_size, raw_sector_size);
}
