// Every kind of disc image the program opens: the registry of formats,
// each row defined beside its own reader.
#pragma once

#include <string>

#include "image/image_format.h"

// The format the input at that path is in: the first row that claims it,
// by content before name; a bare image when none does.
const ImageFormat& image_format_of(const std::string& name);

// Opens any disc image. Every error ends the run.
DiscImage open_disc_image(const std::string& name);
