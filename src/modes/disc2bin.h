// -disc2bin's reads, however they were opened (the tests give a drive of
// their own).
#pragma once

#include <string>
#include <vector>

#include "image/disc_image.h"

struct DiscRead {
    std::string name;
    DiscImage image;
    bool drive = false;  // a stop signal then ends the reading, and the image and map are still written
};

// Merges the reads into the sheet at cue_path and the .bin and .map beside
// it, an earlier run's image and map (where both are there) read first, and
// prints the report. Every refusal ends the run before anything is written.
void merge_disc_reads(std::vector<DiscRead> sources, const std::string& cue_path);
