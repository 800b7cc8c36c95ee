// TOC files as vcdimager and cdrdao write them, and the shapes the fast way
// leaves to libcdio.
#include <gtest/gtest.h>

#include "image/toc_sheet.h"

TEST(TocSheet, RunsOfDataFilesInDiscOrder)
{
    TocSheet toc = parse_toc("// CDRDAO TOC\nCD_ROM_XA\nCD_TEXT { LANGUAGE 0 { TITLE \"a } b\" } }\n"
                             "TRACK MODE2_RAW\n COPY\n DATAFILE \"disc_01.img\"\n"
                             "TRACK MODE2_RAW // the movie\n DATAFILE \"dir/with \\\"quote\\\".img\" #4704 00:02:00\n START\n"
                             " DATAFILE \"disc_02.img\" 7056\n INDEX 00:01:39\n"
                             "TRACK MODE2_FORM_MIX\n FILE \"mix.img\" 00:00:10 00:00:05\n");
    ASSERT_EQ(toc.unsupported, "");
    EXPECT_EQ(toc.tracks, 3u);
    ASSERT_EQ(toc.pieces.size(), 4u);
    EXPECT_EQ(toc.pieces[0].file, "disc_01.img");
    EXPECT_EQ(toc.pieces[0].sectors, 0u);
    EXPECT_EQ(toc.pieces[1].file, "dir/with \"quote\".img");
    EXPECT_EQ(toc.pieces[1].offset, 4704u);
    EXPECT_EQ(toc.pieces[1].sectors, 150u);
    EXPECT_EQ(toc.pieces[2].sectors, 3u);  // a length in bytes
    EXPECT_EQ(toc.pieces[3].sector_size, 2336u);
    EXPECT_EQ(toc.pieces[3].offset, 10u * 2336);
    EXPECT_EQ(toc.pieces[3].sectors, 5u);
}

// Every track mode the fast way reads, stretches no file holds, audio
// counted in samples of 4 bytes: "file@offset+sectors/size:track mode".
TEST(TocSheet, ModesGapsAndAudio)
{
    const std::pair<const char*, std::string> cases[] = {
        {"TRACK MODE1_RAW\nDATAFILE \"a\"\nTRACK MODE1\nDATAFILE \"b\" 4096\nTRACK MODE2_FORM1\nDATAFILE \"c\"\n"
         "TRACK MODE2\nDATAFILE \"d\"\nTRACK MODE1_RAW RW_RAW\nDATAFILE \"e\"\nTRACK AUDIO RW\nFILE \"f\" 0\n",
         "a@0+0/2352:1 1 b@0+2/2048:2 1 c@0+0/2048:3 2 d@0+0/2336:4 2 e@0+0/2448:5 1 f@0+0/2448:6 a "},
        {"CD_ROM_XA\tTRACK MODE2_RAW\tDATAFILE \"v\" 00:04:00 TRACK AUDIO PREGAP 00:02:00 START 00:02:00 "
         "FILE \"w.bin\" #44 1176 00:00:02 INDEX 00:00:01 SILENCE 2352 AUDIOFILE \"x.WAV\" #0 0 5880 ZERO 0 "
         "TRACK MODE2_FORM_MIX ZERO MODE2_FORM_MIX RW 7008 FILE \"y\" 0 00:00:01",
         "v@0+300/2352:1 2 @0+150/2352:2 a w.bin@4748+2/2352:2 a @0+4/2352:2 a x.WAV@0+10/2352:2 a @0+3/2336:3 2 "
         "y@0+1/2336:3 2 "},
    };
    for (const auto& [text, want] : cases) {
        TocSheet toc = parse_toc(text);
        EXPECT_EQ(toc.unsupported, "") << text;
        std::string got;
        for (const TocPiece& p : toc.pieces)
            got += p.file + "@" + std::to_string(p.offset) + "+" + std::to_string(p.sectors) + "/" +
                   std::to_string(p.sector_size) + ":" + std::to_string(p.track) + " " + "a12?"[int(p.mode)] + " ";
        EXPECT_EQ(got, want) << text;
    }
}

TEST(TocSheet, WhatOnlyLibcdioReads)
{
    for (const char* text : {"TRACK AUDIO\nFILE \"a.wav\" 0\n", "TRACK MODE2_FORM2\nDATAFILE \"a\"\n",
                             "TRACK MODE2_FORM_MIX RW_RAW\nDATAFILE \"a\"\n", "TRACK MODE0\nDATAFILE \"a\"\n",
                             "TRACK MODE2_RAW\nFIFO \"a\" 2352\n", "TRACK MODE2_RAW\nZERO MODE2 RW\nDATAFILE \"a\"\n",
                             "PREGAP 00:02:00\nTRACK MODE2_RAW\nDATAFILE \"a\"\n", "TRACK MODE2_RAW\nZERO 00:00:01\n",
                             "DATAFILE \"a\"\n", "TRACK MODE2_RAW\nDATAFILE \"a\" 00:99:00\n", "TRACK MODE2_RAW\n",
                             "TRACK MODE2_RAW\nDATAFILE", "TRACK"})
        EXPECT_NE(parse_toc(text).unsupported, "") << text;
    // The pieces still name their files, for the message when one is missing.
    TocSheet toc = parse_toc("TRACK MODE0\nDATAFILE \"a\"\nDATAFILE \"b\\");
    ASSERT_EQ(toc.pieces.size(), 2u);
    EXPECT_EQ(toc.pieces[0].sector_size, 2352u);
    EXPECT_EQ(toc.pieces[1].file, "b\\");
}
