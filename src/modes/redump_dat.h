// A Logiqx DAT (the XML redump publishes a system's discs in): each game's
// name and the sizes and hashes of its track files, and which game a disc's
// track files are.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "modes/track_hashes.h"

struct DatRom {
    std::optional<std::uint64_t> size;
    std::string crc, md5, sha1;  // lower-case hex; empty where the DAT gives none
};

struct DatGame {
    std::string name;
    std::vector<DatRom> bins;  // its .bin roms: one per track file
};

struct DatFile {
    std::vector<DatGame> games;
    std::string error;  // why the file is no DAT, in words; empty when it is one
};

DatFile read_dat(const std::string& path);

// The game whose track files are these, or else the one with most of them.
struct DatVerdict {
    const DatGame* game = nullptr;  // none where no track is in the DAT
    std::vector<bool> same;         // for each track: a rom of the game equals it
    bool match = false;
};
DatVerdict match_dat(std::span<const DatGame> games, std::span<const RomHashes> tracks);
