#include "image/disc_image.h"
#include "image/image_format.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "io/report.h"
#include "sector/msf.h"

namespace {

constexpr const char* outside_text = "Disc sector %u lies outside the image.\n";
constexpr const char* descriptor_too_large_text = "%s is larger than 1 MiB: too large for an image descriptor.\n";
constexpr const char* unread_text = "%s could not be read as %s: %s.\n";
constexpr const char* data_file_failed_text = "%s, the data file of %s, could not be opened.\n";
constexpr std::uint64_t max_descriptor_size = 1u << 20;

}  // namespace

const DiscRun* run_of(const DiscImage& image, std::uint32_t lsn)
{
    for (const DiscRun& run : image.runs)
        if (lsn >= run.first_lsn && lsn - run.first_lsn < run.sectors)
            return &run;
    return nullptr;
}

const SectorFraming& framing_of(const DiscRun& run)
{
    const SectorFraming* framing = framing_of(run.sector_size);
    return framing ? *framing : sector_framings[0];
}

BlockReader& image_file(const DiscImage& image, std::size_t file)
{
    ImageReader& reader = *image.reader;
    if (reader.open_file == file && reader.file.is_open())
        return reader.file;
    const ImageFile& f = image.files[file];
    reader.open_file = file;
    if (f.source) {
        reader.file.open_source(f.source, f.size, f.path);
    } else if (!reader.file.open(f.path)) {
        say_inaccessible(f.path);
        end_run(1);
    }
    return reader.file;
}

void map_image_files(const DiscImage& image)
{
    image.reader->file.map_files(true);
}

void close_image(const DiscImage& image)
{
    image.reader->file.close_checked();
}

namespace {

// The bytes the image stores of the sector at lsn, and how they are framed.
const std::uint8_t* stored_sector(const DiscImage& image, std::uint32_t lsn, const SectorFraming*& framing)
{
    const DiscRun* run = run_of(image, lsn);
    if (!run) {
        say(outside_text, static_cast<unsigned>(lsn));
        end_run(1);
    }
    framing = &framing_of(*run);
    std::uint64_t at = run->offset + std::uint64_t{lsn - run->first_lsn} * run->sector_size;
    return image_file(image, run->file).need(at, framing->raw_bytes);
}

void frame_sector(const std::uint8_t* stored, const SectorFraming& framing, std::uint32_t lsn, std::uint8_t* dst)
{
    if (framing.raw_start > 0) {
        std::fill_n(dst, framing.raw_start, 0);
        put_sector_header(dst, lsn);
    }
    std::memcpy(dst + framing.raw_start, stored, framing.raw_bytes);
    std::fill(dst + framing.raw_start + framing.raw_bytes, dst + raw_sector_size, 0);
}

}  // namespace

void read_disc_sectors(const DiscImage& image, std::uint32_t lsn, std::uint32_t count, std::uint8_t* dst)
{
    const DiscRun* run = run_of(image, lsn);
    if (!run || count > run->first_lsn + run->sectors - lsn) {
        say(outside_text, static_cast<unsigned>(lsn));
        end_run(1);
    }
    BlockReader& file = image_file(image, run->file);
    std::uint64_t at = run->offset + std::uint64_t{lsn - run->first_lsn} * run->sector_size;
    const SectorFraming& framing = framing_of(*run);
    if (run->sector_size == raw_sector_size) {
        file.read_into(dst, at, std::size_t{count} * raw_sector_size);
        return;
    }
    // Each stored sector goes to its place in its raw one; what a raw sector
    // does not hold (a subchannel) goes to `passed`.
    constexpr std::uint32_t most_passed = [] {
        std::uint32_t most = 0;
        for (const SectorFraming& f : sector_framings)
            most = std::max(most, f.stored_size - f.raw_bytes);
        return most;
    }();
    static std::array<std::uint8_t, most_passed> passed;
    constexpr std::uint32_t sectors_a_call = 256;
    std::array<::iovec, 2 * sectors_a_call> pieces;
    while (count > 0) {
        std::uint32_t n = std::min(count, sectors_a_call);
        std::size_t used = 0;
        for (std::uint32_t i = 0; i < n; ++i) {
            std::uint8_t* sector = dst + std::size_t{i} * raw_sector_size;
            std::fill_n(sector, framing.raw_start, 0);
            if (framing.raw_start > 0)
                put_sector_header(sector, lsn + i);
            std::fill(sector + framing.raw_start + framing.raw_bytes, sector + raw_sector_size, 0);
            pieces[used++] = {sector + framing.raw_start, framing.raw_bytes};
            if (framing.stored_size > framing.raw_bytes)
                pieces[used++] = {passed.data(), framing.stored_size - framing.raw_bytes};
        }
        file.read_into(std::span(pieces).first(used), at);
        at += std::uint64_t{n} * run->sector_size;
        dst += std::size_t{n} * raw_sector_size;
        lsn += n;
        count -= n;
    }
}

const std::uint8_t* read_disc_sector(const DiscImage& image, std::uint32_t lsn)
{
    const SectorFraming* framing = nullptr;
    const std::uint8_t* stored = stored_sector(image, lsn, framing);
    if (framing->raw_start == 0)
        return stored;
    frame_sector(stored, *framing, lsn, image.reader->whole.data());
    return image.reader->whole.data();
}

void append_run(DiscImage& image, const DiscRun& run)
{
    DiscRun* last = image.runs.empty() ? nullptr : &image.runs.back();
    if (last && last->file == run.file && last->sector_size == run.sector_size && last->tail_bytes == 0 &&
        last->first_lsn + last->sectors == run.first_lsn &&
        last->offset + std::uint64_t{last->sectors} * run.sector_size == run.offset) {
        last->sectors += run.sectors;
        last->tail_bytes = run.tail_bytes;
    } else {
        image.runs.push_back(run);
    }
    if (run.sectors > 0)
        image.sectors = run.first_lsn + run.sectors;
}

bool add_image_run(DiscImage& image, std::uint16_t file, std::uint32_t first_lsn, std::uint32_t sectors,
                   std::uint64_t offset, std::uint32_t sector_size)
{
    const std::uint64_t size = image.files[file].size;
    if (!framing_of(sector_size) || offset > size)
        return false;
    std::uint64_t held = (size - offset) / sector_size;
    std::uint64_t count = sectors ? sectors : held;
    // 4 GiB of raw sectors is more than any CD, and keeps every sector number
    // and byte count of the program in range.
    constexpr std::uint64_t most_sectors = max_input_size / raw_sector_size;
    if (count == 0 || count > held || first_lsn > most_sectors || count > most_sectors - first_lsn)
        return false;
    if (!image.runs.empty() && first_lsn < image.runs.back().first_lsn + image.runs.back().sectors)
        return false;
    append_run(image, {first_lsn, static_cast<std::uint32_t>(count), file, offset, sector_size, 0});
    return true;
}

std::string image_of_layout(DiscImage& image, const TrackLayout& layout)
{
    if (!layout.error.empty())
        return layout.error;
    for (const ImageRun& run : layout.runs)
        if (!add_image_run(image, 0, run.first_lsn, run.sectors, run.offset, run.sector_size))
            return "the sectors it gives from disc sector " + std::to_string(run.first_lsn) + " on lie outside " +
                   image.files[0].path;
    if (image.runs.empty())
        return "it gives no sector";
    for (const TrackStart& t : layout.tracks)
        image.tracks.push_back({t.number, t.first_lsn, t.mode, t.pregap, t.states_pregap});
    return {};
}

std::string read_descriptor(const std::string& path)
{
    std::string bytes;
    switch (read_small_file(path, max_descriptor_size, bytes)) {
    case WholeFile::unopenable:
        say_unopenable(path);
        end_run(1);
    case WholeFile::too_large:
        say(descriptor_too_large_text, path.c_str());
        end_run(1);
    case WholeFile::read:
        break;
    }
    return bytes;
}

DiscImage image_of_file(const std::string& path)
{
    std::optional<std::uint64_t> size = input_file_size(path);
    if (!size) {
        say_unopenable(path);
        end_run(1);
    }
    DiscImage image;
    image.files.push_back({path, *size, {}});
    return image;
}

void refuse_image(const std::string& name, const ImageFormat& format, const std::string& why)
{
    say(unread_text, name.c_str(), format.what, why.c_str());
    end_run(1);
}

DiscImage open_described_image(const std::string& name, const ImageFormat& format, const TrackLayout& layout,
                               const std::string& data_file)
{
    if (!layout.error.empty())
        refuse_image(name, format, layout.error);
    std::size_t slash = name.rfind('/');
    std::string path = (slash == std::string::npos ? "" : name.substr(0, slash + 1)) + data_file;
    std::optional<std::uint64_t> size = input_file_size(path);
    if (!size) {
        say(data_file_failed_text, path.c_str(), name.c_str());
        end_run(1);
    }
    DiscImage image;
    image.files.push_back({path, *size, {}});
    if (std::string error = image_of_layout(image, layout); !error.empty())
        refuse_image(name, format, error);
    return image;
}
