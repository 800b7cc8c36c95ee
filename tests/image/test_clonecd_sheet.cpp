// CloneCD sheets: one written from a disc image, the leeway an INI file
// allows, and every way a sheet can contradict itself.
#include <gtest/gtest.h>

#include "harness.h"
#include "image/clonecd_sheet.h"
#include "rip_shapes.h"


TEST(CloneCdSheet, ReadsTheSetWrittenFromADiscImage)
{
    Scratch dir;
    dir.write("disc.bin", raw_track(mpeg_stream(60)));
    const std::vector<TrackStart> tracks{{1, 0, TrackMode::mode2}, {2, 30, TrackMode::mode2}, {3, 45, TrackMode::audio}};
    write_clonecd_rip(dir.path("disc.bin"), tracks, dir.path("disc"));
    Bytes ccd = dir.read("disc.ccd");
    TrackLayout layout = parse_clonecd_sheet(std::string(ccd.begin(), ccd.end()));
    EXPECT_EQ(layout.error, "");
    EXPECT_EQ(layout_text(layout), "1@0:2 2@30:2 3@45:a | 0+60@0/2352");
    EXPECT_EQ(layout.data_file, "");
    EXPECT_TRUE(same_bytes(dir.read("disc.img"), dir.read("disc.bin")));
    EXPECT_EQ(dir.read("disc.sub"), zeros(60 * 96));
}

TEST(CloneCdSheet, TakesAnyCaseOrderAndSpacingAndSkipsWhatItDoesNotKnow)
{
    // Track 1 only in the table of contents, by P-MSF and an audio Control;
    // track 2 by PLBA, its [TRACK] block's MODE and INDEX 1 winning; track 3
    // with nothing to say its mode. An ADR 5 entry and an unknown section
    // name points that are no tracks.
    TrackLayout layout = parse_clonecd_sheet(
        "[cloneCD]\r\nVersion = 3\r\n[ENTRY 1]\r\npoint = 0x02\r\nplba= 290\r\nCONTROL=0x04\r\n"
        "[entry 0]\r\n  Point=0x01 \r\nPMin=0\r\nPSec=2\r\nPFrame=0\r\nControl = 0\r\n[Mystery]\r\nPoint=7\r\n"
        "[Entry 2]\r\nADR=0x05\r\nPoint=0x04\r\nPLBA=5\r\n[Entry 3]\r\nPoint=0xA2\r\nPLBA=+0x3e8\r\nNewKey=x\r\n"
        "[TRACK 2]\r\nindex 0 = 150\r\nINDEX   1=0x12c\r\nMode=1\r\nOther=y\r\n[Track 3]\r\nINDEX 1=500\r\n");
    EXPECT_EQ(layout.error, "");
    EXPECT_EQ(layout_text(layout), "1@0:a 2@300:1 3@500:? | 0+1000@0/2352");
    // Without a lead-out the image reaches as far as NAME.img does.
    EXPECT_EQ(layout_text(parse_clonecd_sheet("[TRACK 1]\nMODE=2\nINDEX 1=0\n")), "1@0:2 | 0+0@0/2352");
    EXPECT_EQ(layout_text(parse_clonecd_sheet("[Entry 0]\nPoint=99\nPLBA=7\n")), "99@7:? | 0+0@0/2352");
}

TEST(CloneCdSheet, RefusesSheetsThatContradictThemselves)
{
    const std::pair<const char*, const char*> cases[] = {
        {"", "it names no track"},
        {"[CloneCD]\nVersion=3\n[Entry 0]\nPoint=0xa0\nPLBA=4350\n", "it names no track"},
        {"[Entry 0]\nPoint=1\nPLBA=0\n[Entry 1]\nPoint=1\nPLBA=9\n", "it names track 1 twice"},
        {"[TRACK 1]\nINDEX 1=0\n[TRACK 1]\nINDEX 1=0\n", "it names track 1 twice"},
        {"[TRACK 0]\nINDEX 1=0\n", "it has a section [TRACK 0], but tracks are numbered 1 to 99"},
        {"[TRACK 1]\nINDEX 1=0\n[TRACK 3]\nINDEX 1=9\n", "it names track 3 but no track 2"},
        {"[TRACK 1]\nINDEX 1=10\n[TRACK 2]\nINDEX 1=5\n", "track 2 starts before track 1"},
        {"[TRACK 1]\nINDEX 1=10\n[Entry 0]\nPoint=2\nPLBA=10\n", "track 2 starts where track 1 does"},
        {"[TRACK 1]\nMODE=2\nINDEX 0=0\n", "it gives no start for track 1"},
        {"[TRACK 1]\nINDEX 1=-1\n", "track 1 starts at sector -1, which no CD has"},
        {"[Entry 0]\nPoint=1\nPLBA=450001\n", "track 1 starts at sector 450001, which no CD has"},
        {"[TRACK 1]\nMODE=3\nINDEX 1=0\n", "its [TRACK 1] gives MODE=3, which no CD track has"},
        {"[Entry 0]\nPoint=1\nPLBA=0x1g\n", "its [Entry 0] gives PLBA=0x1g, which is not a number"},
        {"[Entry 0]\nPoint=\nPLBA=0\n", "its [Entry 0] gives Point=, which is not a number"},
        {"[Entry 0]\nPoint=1\nPLBA=1.5\n", "its [Entry 0] gives PLBA=1.5, which is not a number"},
        {"[Entry 0]\nPoint=0xa2\nPLBA=100\n[TRACK 1]\nINDEX 1=100\n", "its lead-out lies before its last track"},
        {"[Disc]\nDataTracksScrambled=1\n[TRACK 1]\nINDEX 1=0\n", "its data tracks are kept scrambled"},
        {"[Entry 0]\nPoint=0xa2\nPLBA=-150\n[TRACK 1]\nINDEX 1=0\n", "its lead-out lies at sector -150, which no CD has"},
    };
    for (const auto& [text, error] : cases) {
        TrackLayout layout = parse_clonecd_sheet(text);
        EXPECT_EQ(layout.error, error) << text;
        EXPECT_TRUE(consistent_layout(layout)) << text;
    }
}
