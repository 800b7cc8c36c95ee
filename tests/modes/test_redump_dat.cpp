// A disc's track files against a DAT's entries, and the lines they are
// written in.
#include <gtest/gtest.h>

#include "io/report.h"
#include "modes/redump_dat.h"

// Each rom may stand for any track, a hash the DAT leaves out is not
// compared, and an entry with a track more, or a track short, matches none.
TEST(RedumpDat, MatchesAnEntryTrackForTrack)
{
    std::vector<RomHashes> tracks(3);
    for (std::size_t t = 0; t < tracks.size(); ++t)
        tracks[t] = {2352 * (t + 1), static_cast<std::uint32_t>(0xABC0 + t), {std::uint8_t(t)}, {std::uint8_t(t)}};
    auto rom = [&](std::size_t t) {
        return DatRom{tracks[t].size, formatted("%08x", unsigned(tracks[t].crc)), lower_hex(tracks[t].md5), ""};
    };
    DatRom wrong = rom(1);
    wrong.md5[0] = 'f';
    const std::vector<DatGame> games = {
        {"more", {rom(0), rom(1), rom(2), rom(2)}},
        {"near", {rom(0), wrong, rom(2)}},
        {"right", {rom(2), rom(0), rom(1)}},
    };
    DatVerdict v = match_dat(games, tracks);
    EXPECT_TRUE(v.match);
    EXPECT_EQ(v.game->name, "right");
    v = match_dat(std::span(games).first(2), tracks);
    EXPECT_FALSE(v.match);
    EXPECT_EQ(v.game->name, "more");  // the first of the nearest
    v = match_dat(std::span(games).subspan(1, 1), tracks);
    EXPECT_EQ(v.same, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(match_dat({}, tracks).game, nullptr);
    EXPECT_EQ(rom_line(track_file_name("A & \"B\"", 7, 12), tracks[0]),
              "<rom name=\"A &amp; &quot;B&quot; (Track 07).bin\" size=\"2352\" crc=\"0000abc0\" "
              "md5=\"00000000000000000000000000000000\" sha1=\"0000000000000000000000000000000000000000\"/>");
}
