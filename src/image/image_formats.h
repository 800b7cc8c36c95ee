// Every kind of disc image the program opens, in one table: how each is
// recognised and the routine that opens it into the one disc model.
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
    const char* what;
    ImageKind kind;
    bool (*claims)(const ImageProbe& probe);
    DiscImage (*open)(const std::string& name);
};

// The format the input at that path is in: the first of the table that
// claims it, by content before name; a bare image when none does.
const ImageFormat& image_format_of(const std::string& name);

// Opens any disc image. Every error ends the run.
DiscImage open_disc_image(const std::string& name);
