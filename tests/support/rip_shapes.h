// One disc kept the ways other programs rip it, made from a disc image of
// raw 2352-byte sectors from disc sector 0 on (a BIN as vcdimager writes it)
// and the track starts its CUE sheet gives. Files are written beside `base`,
// a path without extension; a file that cannot be read or written throws.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "bytes.h"
#include "image/track_layout.h"
#include "layout_rules.h"

// base.ccd (CRLF lines: the table of contents with the lead-out at the BIN's
// end, then [TRACK n] with MODE= and INDEX 1=), base.img (the BIN's bytes)
// and base.sub (96 zero bytes a sector).
void write_clonecd_rip(const std::filesystem::path& bin, const std::vector<TrackStart>& tracks,
                       const std::filesystem::path& base);

// base.mds and base.mdf, the data file named "*.mdf". sector_size 2352: the
// BIN's bytes; 2448: each sector followed by subchannel_pattern(its lsn).
// Each track's extra block gives its length up to the next track (the last
// to the BIN's end) and a pregap of 150 for track 1, 0 for the others.
void write_alcohol_rip(const std::filesystem::path& bin, const std::vector<TrackStart>& tracks,
                       const std::filesystem::path& base, std::uint32_t sector_size);

// One bare file: sector_size 2448, each sector and subchannel_pattern(its
// lsn); 2336, each sector from its subheader (byte 16) on; 2048, an .iso of
// track 1's user data (Form 1, byte 24 on) up to track 2.
void write_bare_rip(const std::filesystem::path& bin, const std::vector<TrackStart>& tracks,
                    const std::filesystem::path& out, std::uint32_t sector_size);

// 96 bytes that differ from sector to sector and hold no sync pattern.
Bytes subchannel_pattern(std::uint32_t lsn);

// A layout in a line, to compare: "1@0:2 2@30:a | 0+60@0/2352" is track 1
// at sector 0 in Mode 2, track 2 at 30 audio (1 Mode 1, ? unknown), and
// sectors 0 to 59 from byte 0 on in 2352-byte sectors.
std::string layout_text(const TrackLayout& layout);
