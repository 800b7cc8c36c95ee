#include "image/disc_image.h"

#include <array>
#include <cstring>
#include <strings.h>
#include <sys/stat.h>

#include "image/cdio_source.h"
#include "image/cue_sheet.h"
#include "image/nrg_image.h"
#include "image/toc_sheet.h"
#include "run/run_state.h"

namespace {

constexpr const char* sector_size_text =
    "Track %d has %u-byte sectors: a whole disc is read from images of %u-byte sectors.\n";
constexpr const char* empty_image_text = "%s holds no whole sector.\n";
constexpr const char* outside_text = "Disc sector %u lies outside the image.\n";
constexpr const char* toc_file_failed_text = "%s, named in the TOC file, could not be opened.\n";
constexpr const char* toc_piece_outside_text = "The TOC file reads %s from byte %llu on, past its end.\n";
constexpr const char* toc_unread_text = "%s could not be read as a cdrdao TOC file: %s.\n";
constexpr const char* nrg_unread_text = "%s could not be read as a Nero image: %s.\n";
constexpr const char* drive_failed_text = "%s could not be read as a disc in a drive.\n";

bool has_suffix(const std::string& name, const char* suffix)
{
    std::size_t n = std::strlen(suffix);
    return name.size() > n && strcasecmp(name.c_str() + name.size() - n, suffix) == 0;
}

bool is_device(const std::string& name)
{
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 && (S_ISBLK(st.st_mode) || S_ISCHR(st.st_mode));
}

// A TOC whose tracks are raw Mode 2 runs of data files is read the fast way,
// like a CUE sheet; any other goes to libcdio.
DiscImage open_toc()
{
    TocSheet sheet = parse_toc(read_sheet_text());
    if (!sheet.unsupported.empty()) {
        if (!open_cdio_source(io.input_name, CdioKind::toc)) {
            say(toc_unread_text, io.input_name.c_str(), sheet.unsupported.c_str());
            end_run(1);
        }
        DiscImage image = disc_image_of_bins({bin_images.back().size});
        for (const auto& [number, lsn] : cdio_track_starts())
            image.tracks.push_back({number, lsn});
        return image;
    }
    DiscImage image;
    for (const TocPiece& piece : sheet.pieces) {
        bool opened = false;
        for (const std::string& path : bin_candidates(io.input_name, piece.file))
            if ((opened = io.input_file.open(path)))
                break;
        if (!opened) {
            say(toc_file_failed_text, piece.file.c_str());
            end_run(1);
        }
        std::uint64_t size = file_size(io.input_file);
        std::uint64_t sectors = piece.offset <= size ? (size - piece.offset) / piece.sector_size : 0;
        if (piece.sectors)
            sectors = piece.sectors <= sectors ? piece.sectors : 0;
        if (sectors == 0 || sectors > max_input_size / raw_sector_size - image.sectors) {
            say(toc_piece_outside_text, piece.file.c_str(), static_cast<unsigned long long>(piece.offset));
            end_run(1);
        }
        bin_images.push_back({io.input_file.name(), size});
        if (image.tracks.empty() || image.tracks.back().number != static_cast<int>(piece.track))
            image.tracks.push_back({static_cast<int>(piece.track), image.sectors});
        image.runs.push_back({image.sectors, static_cast<std::uint32_t>(sectors),
                              static_cast<std::uint16_t>(bin_images.size() - 1), piece.offset, piece.sector_size});
        image.sectors += static_cast<std::uint32_t>(sectors);
    }
    return image;
}

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

bool names_a_disc_image(const std::string& name)
{
    return has_suffix(name, ".toc") || has_suffix(name, ".nrg") || is_device(name);
}

// A Nero image says in its own chunk list where each track lies in it;
// the sectors are then runs of the file like a BIN's.
DiscImage open_nrg()
{
    constexpr std::uint64_t max_chunk_list = 1u << 20;
    if (!io.input_file.open(io.input_name)) {
        say_unopenable(io.input_name);
        end_run(1);
    }
    std::uint64_t size = file_size(io.input_file);
    std::size_t tail = static_cast<std::size_t>(std::min<std::uint64_t>(size, 12));
    std::span<const std::uint8_t> footer(io.input_file.need(size - tail, tail), tail);
    std::string error;
    std::uint64_t offset = nrg_chunk_offset(footer, size, error);
    if (error.empty() && size - offset > max_chunk_list)
        error = "its chunk list is over 1 MiB long";
    NrgLayout layout;
    if (error.empty()) {
        std::vector<std::uint8_t> chunks;
        for (std::uint64_t at = offset; at < size;) {
            std::span<const std::uint8_t> bytes = io.input_file.view(at, io.input_file.capacity());
            if (bytes.empty())
                io.input_file.read_failed();
            chunks.insert(chunks.end(), bytes.begin(), bytes.end());
            at += bytes.size();
        }
        layout = parse_nrg_chunks(chunks, offset);
        error = layout.error;
    }
    if (!error.empty()) {
        say(nrg_unread_text, io.input_name.c_str(), error.c_str());
        end_run(1);
    }
    bin_images.push_back({io.input_file.name(), size});
    DiscImage image;
    for (std::size_t t = 0; t < layout.tracks.size(); ++t) {
        const NrgTrack& track = layout.tracks[t];
        image.runs.push_back({track.first_lsn, track.sectors, 0, track.offset, track.sector_size});
        image.tracks.push_back({static_cast<int>(t + 1), track.first_lsn});
        image.sectors = track.first_lsn + track.sectors;
    }
    return image;
}

DiscImage open_disc_image()
{
    silence_cdio_logs();
    if (has_suffix(io.input_name, ".toc"))
        return open_toc();
    if (has_suffix(io.input_name, ".nrg"))
        return open_nrg();
    if (is_device(io.input_name)) {
        if (!open_cdio_source(io.input_name, CdioKind::drive)) {
            say(drive_failed_text, io.input_name.c_str());
            end_run(1);
        }
        DiscImage image = disc_image_of_bins({bin_images.back().size});
        for (const auto& [number, lsn] : cdio_track_starts())
            image.tracks.push_back({number, lsn});
        return image;
    }
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
            say_unopenable(io.input_name);
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
    std::uint64_t at = run->offset + std::uint64_t{lsn - run->first_lsn} * run->sector_size;
    if (run->sector_size == raw_sector_size)
        return io.input_file.need(at, raw_sector_size);
    static std::array<std::uint8_t, raw_sector_size> whole;
    std::uint32_t header = raw_sector_size - run->sector_size;
    put_sector_header(whole.data(), lsn);
    std::memcpy(whole.data() + header, io.input_file.need(at, run->sector_size), run->sector_size);
    return whole.data();
}
