// Discs in a drive, read through libcdio and seen as a raw image of
// 2352-byte sectors.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "image/disc_image.h"
#include "image/image_format.h"

// The drive as a disc image whose one file is libcdio's source (it
// owns the device), with the tracks libcdio lists; nothing when libcdio
// cannot open it.
std::optional<DiscImage> open_cdio_image(const std::string& path);

// libcdio and its libraries speak on standard error of what they meet; the
// program's own lines say what matters, so that is silenced.
void silence_cdio_logs();

// Claims a device: a disc in a drive, read through libcdio.
extern const ImageFormat drive_format;
