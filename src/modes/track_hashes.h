// CRC-32, MD5 and SHA-1 of a disc's track files as redump splits a disc,
// and of the whole disc as one BIN, computed while the disc is read once,
// then written in the Logiqx form of redump's DATs.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct RomHashes {
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    std::array<std::uint8_t, 16> md5{};
    std::array<std::uint8_t, 20> sha1{};
};

struct DiscHasher;
struct DiscHasherEnd {
    void operator()(DiscHasher* hasher) const;
};
using DiscHashing = std::unique_ptr<DiscHasher, DiscHasherEnd>;

DiscHashing start_disc_hashes();

// The next bytes of the disc in 2352-byte sectors, which belong to track
// file `track` (counted from 0; never one before the last bytes' track).
// Part of the work runs on a thread of its own. With `wait` false the call
// returns with that thread perhaps still reading the bytes: the caller keeps
// them as they are until hash_settle().
void hash_disc_bytes(DiscHasher& hasher, std::size_t track, std::span<const std::uint8_t> bytes,
                     bool wait = true);
void hash_settle(DiscHasher& hasher);

// The hashes of each of `tracks` track files, in order, then of the disc.
std::vector<RomHashes> finish_disc_hashes(DiscHasher& hasher, std::size_t tracks);

// "NAME (Track 1).bin", with two digits where the disc has ten tracks or more.
std::string track_file_name(std::string_view base, int track, std::size_t tracks);

// <rom name="..." size="..." crc="..." md5="..." sha1="..."/>
std::string rom_line(std::string_view name, const RomHashes& rom);

std::string lower_hex(std::span<const std::uint8_t> bytes);
