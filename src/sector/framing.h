// How images store a sector. A raw CD sector is 2352 bytes: 12 of sync, 4
// of header, then (Mode 2) 8 of subheader, user data and EDC. Images keep
// all of it, or only part, or add the 96 bytes of subchannel a drive reads
// with it; this table says, for each stored size, which bytes of the raw
// sector the stored ones are and what trails them.
#pragma once

#include <cstdint>

struct SectorFraming {
    std::uint32_t stored_size;  // bytes a sector takes in the file
    std::uint32_t raw_start;    // where in the raw sector the stored bytes start
    std::uint32_t raw_bytes;    // how many bytes of the raw sector are stored
    // Whether the stored bytes hold what a sector can be checked by: the
    // subheader copies and the EDC at least (the 2048 bytes of user data
    // alone promise nothing).
    bool checkable;
};

inline constexpr SectorFraming sector_framings[] = {
    {2352, 0, 2352, true},   // raw
    {2336, 16, 2336, true},  // from the subheader on (cdrdao's MODE2, Nero's and libcdio's Mode 2)
    {2448, 0, 2352, true},   // raw, then 96 bytes of subchannel (raw+subchannel rips, Alcohol)
    {2048, 24, 2048, false},  // the user data of a Form 1 sector alone (an .iso of the data track)
};

// The framing of a stored sector size, or nullptr for a size no image of a
// whole disc uses.
constexpr const SectorFraming* framing_of(std::uint32_t stored_size)
{
    for (const SectorFraming& f : sector_framings)
        if (f.stored_size == stored_size)
            return &f;
    return nullptr;
}

// Where the Form 2 user data of a stored sector starts within it.
constexpr std::uint32_t stored_data_offset(const SectorFraming& f)
{
    constexpr std::uint32_t raw_data_offset = 24;  // sync, header, subheader
    return f.raw_start <= raw_data_offset ? raw_data_offset - f.raw_start : 0;
}
