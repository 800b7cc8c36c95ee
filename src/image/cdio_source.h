// cdrdao TOC files of the shapes the program does not read itself, and
// discs in a drive, read through libcdio and seen as a raw image of
// 2352-byte sectors.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <cdio/cdio.h>

enum class CdioKind : std::uint8_t { toc, drive };

// Opens the image or drive; its sectors then read as bin_images' last entry.
// False when libcdio cannot open it.
bool open_cdio_source(const std::string& path, CdioKind kind);

// The number and first sector of each track of the open source.
std::vector<std::pair<int, std::uint32_t>> cdio_track_starts();

// The open source, for its filesystem; nullptr when there is none.
CdIo_t* cdio_source();

// Closes the source (the driver does at the end of every run).
void close_cdio_source();

// libcdio and its libraries speak on standard error of what they meet; the
// program's own lines say what matters, so that is silenced.
void silence_cdio_logs();

// Writes the sync and the Mode 2 header a sector at lsn has on the disc.
void put_sector_header(std::uint8_t* sector, std::uint32_t lsn);

// How many tries a sector gets before it is written as damage.
inline constexpr int cdio_read_tries = 3;
