#include "image/image_formats.h"

#include <algorithm>
#include <array>
#include <sys/stat.h>

#include "image/alcohol_descriptor.h"
#include "image/bare_image.h"
#include "image/chd_image.h"
#include "image/cdio_source.h"
#include "image/clonecd_sheet.h"
#include "image/cue_image.h"
#include "image/nrg_image.h"
#include "image/toc_sheet.h"

namespace {

// Bytes read from each end of an input to tell its format.
constexpr std::size_t probe_bytes = 64;

// In the order they are asked; the bare image claims whatever is left.
const std::array formats = {&drive_format,   &chd_format,     &cue_format, &toc_format,
                            &nrg_format,     &clonecd_format, &alcohol_format, &bare_format};

}  // namespace

const ImageFormat& image_format_of(const std::string& name)
{
    ImageProbe probe{name, false, {}, {}};
    struct stat st {};
    probe.device = ::stat(name.c_str(), &st) == 0 && (S_ISBLK(st.st_mode) || S_ISCHR(st.st_mode));
    std::array<std::uint8_t, probe_bytes> buffer{}, head{}, tail{};
    BlockReader reader(buffer);
    if (!probe.device && reader.open(name)) {
        std::uint64_t size = reader.size();
        std::span<const std::uint8_t> bytes = reader.view(0, probe_bytes);
        std::copy(bytes.begin(), bytes.end(), head.begin());
        probe.head = std::span(head).first(bytes.size());
        std::uint64_t from = size - std::min<std::uint64_t>(size, probe_bytes);
        bytes = reader.view(from, static_cast<std::size_t>(size - from));
        std::copy(bytes.begin(), bytes.end(), tail.begin());
        probe.tail = std::span(tail).first(bytes.size());
    }
    for (const ImageFormat* format : formats)
        if (format->claims(probe))
            return *format;
    return bare_format;
}

DiscImage open_disc_image(const std::string& name)
{
    silence_cdio_logs();
    return image_format_of(name).open(name);
}
