#include "image/image_formats.h"

#include <algorithm>
#include <array>
#include <sys/stat.h>

#include "image/alcohol_descriptor.h"
#include "image/bare_image.h"
#include "image/cdio_source.h"
#include "image/clonecd_sheet.h"
#include "image/cue_image.h"
#include "image/nrg_image.h"
#include "image/toc_sheet.h"
#include "io/text.h"
#include "run/run_state.h"

namespace {

constexpr const char* drive_failed_text = "%s could not be read as a disc in a drive.\n";

// Bytes read from each end of an input to tell its format.
constexpr std::size_t probe_bytes = 64;

DiscImage open_drive(const std::string& name)
{
    std::optional<DiscImage> image = open_cdio_image(name, CdioKind::drive);
    if (!image) {
        say(drive_failed_text, name.c_str());
        end_run(1);
    }
    return std::move(*image);
}

bool is_drive(const ImageProbe& p)
{
    return p.device;
}
bool is_cue(const ImageProbe& p)
{
    return ends_folded(p.name, ".cue");
}
bool is_toc(const ImageProbe& p)
{
    return ends_folded(p.name, ".toc");
}
bool is_nrg(const ImageProbe& p)
{
    return has_nrg_footer(p.tail) || ends_folded(p.name, ".nrg");
}
bool is_clonecd(const ImageProbe& p)
{
    constexpr std::string_view section = "[CloneCD]";
    return starts_folded({reinterpret_cast<const char*>(p.head.data()), p.head.size()}, section) ||
           ends_folded(p.name, ".ccd");
}
bool is_alcohol(const ImageProbe& p)
{
    constexpr std::string_view signature = "MEDIA DESCRIPTOR";
    return std::string_view(reinterpret_cast<const char*>(p.head.data()), p.head.size()).starts_with(signature) ||
           ends_folded(p.name, ".mds");
}
bool is_bare(const ImageProbe&)
{
    return true;
}

constexpr std::array formats = {
    ImageFormat{"drive", ImageKind::described, is_drive, open_drive},
    ImageFormat{"CUE sheet", ImageKind::cue_sheet, is_cue, open_cue_image},
    ImageFormat{"cdrdao TOC file", ImageKind::described, is_toc, open_toc_image},
    ImageFormat{"Nero image", ImageKind::described, is_nrg, open_nrg_image},
    ImageFormat{"CloneCD image", ImageKind::described, is_clonecd, open_clonecd_image},
    ImageFormat{"Alcohol image", ImageKind::described, is_alcohol, open_alcohol_image},
    ImageFormat{"bare image", ImageKind::bare, is_bare, open_bare_image},
};

}  // namespace

const ImageFormat& image_format_of(const std::string& name)
{
    ImageProbe probe{name, false, {}, {}};
    struct stat st {};
    probe.device = ::stat(name.c_str(), &st) == 0 && (S_ISBLK(st.st_mode) || S_ISCHR(st.st_mode));
    std::array<std::uint8_t, probe_bytes> head{}, tail{};
    if (!probe.device && io.input_file.open(name)) {
        std::uint64_t size = io.input_file.size();
        std::span<const std::uint8_t> bytes = io.input_file.view(0, std::min<std::uint64_t>(size, probe_bytes));
        std::copy(bytes.begin(), bytes.end(), head.begin());
        probe.head = std::span(head).first(bytes.size());
        std::uint64_t from = size - std::min<std::uint64_t>(size, probe_bytes);
        bytes = io.input_file.view(from, static_cast<std::size_t>(size - from));
        std::copy(bytes.begin(), bytes.end(), tail.begin());
        probe.tail = std::span(tail).first(bytes.size());
        io.input_file.close();
    }
    for (const ImageFormat& format : formats)
        if (format.claims(probe))
            return format;
    return formats.back();
}

DiscImage open_disc_image(const std::string& name)
{
    silence_cdio_logs();
    return image_format_of(name).open(name);
}
