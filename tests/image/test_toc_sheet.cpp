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

TEST(TocSheet, WhatOnlyLibcdioReads)
{
    for (const char* text : {"TRACK AUDIO\nFILE \"a.wav\" 0\n", "TRACK MODE2_RAW\nZERO 00:02:00\nDATAFILE \"a\"\n",
                             "TRACK MODE2_RAW\nPREGAP 00:02:00\nDATAFILE \"a\"\n", "TRACK MODE1\nDATAFILE \"a\"\n",
                             "DATAFILE \"a\"\n", "TRACK MODE2_RAW\nDATAFILE \"a\" 00:99:00\n", "TRACK MODE2_RAW\n",
                             "TRACK MODE2_RAW\nDATAFILE", "TRACK"})
        EXPECT_NE(parse_toc(text).unsupported, "") << text;
}
