#include "image/bare_image.h"

#include <algorithm>
#include <cstring>

#include "io/report.h"
#include "sector/msf.h"

namespace {

constexpr const char* empty_image_text = "%s holds no whole sector.\n";

// The primary volume descriptor of ISO 9660 lies at sector 16: its type
// byte 1, then "CD001".
constexpr std::uint32_t volume_descriptor_sector = 16;
constexpr std::string_view volume_descriptor = "\x01" "CD001";

bool syncs_at_stride(std::span<const std::uint8_t> head, std::size_t stride)
{
    std::size_t sectors = std::min<std::size_t>(head.size() / stride, volume_descriptor_sector + 1);
    if (sectors < 2)
        return sectors == 1 && head.size() < 2 * stride &&
               std::memcmp(head.data(), sync_pattern.data(), sync_pattern.size()) == 0;
    for (std::size_t i = 0; i < sectors; ++i)
        if (std::memcmp(head.data() + i * stride, sync_pattern.data(), sync_pattern.size()) != 0)
            return false;
    return true;
}

bool descriptor_at(std::span<const std::uint8_t> head, std::size_t at)
{
    return head.size() >= at + volume_descriptor.size() &&
           std::memcmp(head.data() + at, volume_descriptor.data(), volume_descriptor.size()) == 0;
}

bool subheaders_agree(std::span<const std::uint8_t> head, std::size_t stride)
{
    for (std::size_t at = 0; at + 8 <= head.size() && at < volume_descriptor_sector * stride; at += stride)
        if (std::memcmp(head.data() + at, head.data() + at + 4, 4) != 0)
            return false;
    return true;
}

}  // namespace

std::uint32_t bare_sector_size(std::span<const std::uint8_t> head)
{
    if (syncs_at_stride(head, 2448) && !syncs_at_stride(head, 2352))
        return 2448;
    if (syncs_at_stride(head, 2352))
        return 2352;
    // The user data of a Form 1 sector starts after the 8-byte subheader.
    if (descriptor_at(head, volume_descriptor_sector * 2336 + 8) && subheaders_agree(head, 2336))
        return 2336;
    if (descriptor_at(head, volume_descriptor_sector * 2048))
        return 2048;
    return 2352;
}

std::uint32_t probe_bare_image(const std::string& name)
{
    BlockReader reader(bare_probe_size);
    if (!reader.open(name))
        return 2352;
    return bare_sector_size(reader.view(0, bare_probe_size));
}

DiscImage open_bare_image(const std::string& name)
{
    std::uint32_t sector_size = probe_bare_image(name);
    DiscImage image = image_of_file(name);
    if (!add_image_run(image, 0, 0, 0, 0, sector_size)) {
        say(empty_image_text, name.c_str());
        end_run(1);
    }
    return image;
}

namespace {

bool claims_anything(const ImageProbe&)
{
    return true;
}

}  // namespace

const ImageFormat bare_format{"a bare image", ImageKind::bare, claims_anything, open_bare_image};
