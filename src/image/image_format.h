// One kind of disc image: how it is recognised, what it is called and the
// routine that opens it into the one disc model. Each format's own file
// defines its row; image_formats.h lists them.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "image/disc_image.h"

enum class ImageKind : std::uint8_t { cue_sheet, bare, described };

// What is known of an input before it is opened: its name, whether it is a
// device, and its first and last bytes.
struct ImageProbe {
    std::string name;
    bool device = false;
    std::span<const std::uint8_t> head;
    std::span<const std::uint8_t> tail;
};

struct ImageFormat {
    const char* what;  // "a Nero image": the format named in messages
    ImageKind kind;
    bool (*claims)(const ImageProbe& probe);
    DiscImage (*open)(const std::string& name);
};

// Ends the run: the input could not be read as that format, and why.
[[noreturn]] void refuse_image(const std::string& name, const ImageFormat& format, const std::string& why);
