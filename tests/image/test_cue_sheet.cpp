// Sheets parsed from memory into entries, the ends the BIN sizes give them,
// and the names the program derives from a sheet.
#include <gtest/gtest.h>
#include <tuple>

#include "image/cue_sheet.h"
#include "modes/track_table.h"
#include "run/run_state.h"

namespace {

using Entry = std::tuple<std::uint32_t, std::uint64_t, std::uint64_t, std::uint16_t>;  // size, start, end, BIN
struct Case {
    const char* what;
    std::string text;
    std::vector<std::uint64_t> bin_sizes;
    std::vector<Entry> want;
    bool warning = false;
    std::vector<std::string> bins = {"a.bin"};
};

const std::string vcd = "FILE \"a.bin\" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n";

TEST(CueSheet, EntriesAndEnds)
{
    const Case cases[] = {
        {"two tracks, partial last sector", vcd + "TRACK 02 MODE2/2352\nINDEX 01 00:04:00\n", {10000000},
         {{2352, 0, 703248, 0}, {2352, 705600, 9998352, 0}}, true},
        {"an INDEX of a minute and more", vcd + "TRACK 02 MODE2/2352\nINDEX 01 01:02:03\n", {4663 * 2352},
         {{2352, 0, 4652 * 2352, 0}, {2352, 4653 * 2352, 4663 * 2352, 0}}},
        {"sector sizes mixed", "FILE a.bin BINARY\nTRACK 1 MODE1/2048\nINDEX 1 0:0:0\nTRACK 2 MODE2/2336\n"
         "INDEX 1 0:0:10\nTRACK 3 CDI/1\nINDEX 1 0:1:0\nTRACK 4 CDI/32705\nINDEX 1 0:1:1\n", {32705 * 80},
         {{2048, 0, 2048 * 9, 0}, {2336, 23360, 2336 * 74, 0}, {1, 75, 75, 0}, {32705, 32705 * 76, 32705 * 80, 0}}},
        {"a BIN per track, pregaps at the front of each",
         "\xEF\xBB\xBFREM FILE old.bin\r\nTITLE \"CLIP INDEX\"\r\nFILE \"C:\\r\\My   Movie (Track 1).bin\" BINARY\r\n"
         "  TRACK 01 MODE2/2352\r\n    INDEX 01 00:00:00\r\nFILE \"t2.bin\" BINARY\r\n  TRACK 02 MODE2/2352\r\n"
         "  PERFORMER \"INDEX 01 00:00:01\"\r\n    INDEX 00 00:00:00\r\n    INDEX 01 00:02:00\r\n",
         {2352 * 300 + 5, 2352 * 400}, {{2352, 0, 2352 * 300, 0}, {2352, 0, 2352 * 149, 1}, {2352, 2352 * 150, 2352 * 400, 1}},
         true, {"C:\\r\\My Movie (Track 1).bin", "t2.bin"}},
        {"an end past the BIN is cut", vcd + "TRACK 02 MODE2/2352\nINDEX 01 00:00:20\n", {2352 * 10},
         {{2352, 0, 2352 * 10, 0}, {2352, 2352 * 20, 2352 * 10, 0}}, true},
        {"entries before the FILE line end at 0", "TRACK 01 MODE2/2352\nINDEX 01 00:00:00\n"
         "INDEX 01 00:00:05\nFILE a.bin\nINDEX 01 00:00:07\n", {2352 * 9},
         {{2352, 0, 0, 0}, {2352, 2352 * 5, 2352 * 6, 0}, {2352, 2352 * 7, 2352 * 9, 0}}, true},
        {"tabs and a bare name at a CRLF line end", "FILE a.bin\r\n\tTRACK\t1\tMODE2/2352\r\n\tINDEX 1 0:0:0\r\nINDEX 1 0:0:2\r\n",
         {2352 * 4}, {{2352, 0, 2352, 0}, {2352, 2352 * 2, 2352 * 4, 0}}},
        {"keywords by their first letters only", "FILE a.bin\nTRACKS 1 MODE2/2352\nINDEXED 1 0:0:0\ntrack 2 "
         "MODE1/2048\nindex 1 0:0:2\nINDEX 1 0:0:3\n", {2352 * 4}, {{2352, 0, 2352 * 2, 0}, {2352, 2352 * 3, 2352 * 4, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ParsedSheet sheet = parse_cue_sheet(c.text);
        ASSERT_EQ(sheet.error, "");
        EXPECT_EQ(sheet.bins, c.bins);
        EXPECT_EQ(set_entry_ends(sheet.entries, c.bin_sizes, sheet.end_cut), c.warning);
        std::vector<Entry> got;
        for (const TrackRecord& e : sheet.entries)
            got.push_back({e.sector_size, e.start_offset, e.end_offset, e.bin});
        EXPECT_EQ(got, c.want);
    }
    ParsedSheet late = parse_cue_sheet(vcd + "INDEX 01 01:02:03\n");
    EXPECT_EQ(late.entries[1].minutes * 10000 + late.entries[1].seconds * 100 + late.entries[1].frames, 10203);
    // An INDEX line without numbers keeps the time above it, as INDEX 00.
    ParsedSheet bare = parse_cue_sheet(vcd + "INDEX 01 00:00:02\nINDEX x\n");
    EXPECT_EQ(bare.entries[2].index_number, 0);
    EXPECT_EQ(bare.entries[2].start_offset, 2u * 2352);
}

TEST(CueSheet, UnusableSheets)
{
    std::string many = vcd;
    for (int i = 1; i < 99; ++i)
        many += "INDEX 01 00:00:" + std::to_string(i) + "\n";
    const std::pair<std::string, std::string> cases[] = {
        {"TRACK 01 MODE2/2352\nINDEX 01 00:00:00\nINDEX 01 00:00:05\n", "Error in CUE file!  Missing FILE information.\n\n"},
        {vcd, "CUE file is incomplete and is missing the necessary track information.\n\n"},
        {"FILE a.bin\nINDEX 01 00:00:00\nTRACK 2 MODE2/2352\nINDEX 01 00:00:05\n",
         "CUE file is incomplete and is missing the necessary track information.\n\n"},
        {"FILE a.bin\nTRACK 1 CDI/0\n", "Track type CDI/0 in CUE file is not supported.\n\n"},
        {many, ""},
        {many + "INDEX 01 00:02:00\n", "Total tracks over 98.  Possible error in CUE file.\n\n"},
        {"FILE a.bin\nTRACK 1 MODE1/2048\nINDEX 01 00:00:00\n", ""},
        {"FILE \"a b", "CUE file is incomplete and is missing the necessary track information.\n\n"},
    };
    for (const auto& [text, error] : cases)
        EXPECT_EQ(parse_cue_sheet(text).error, error) << text.substr(0, 60);
    EXPECT_EQ(parse_cue_sheet("FILE \"a b").bins, std::vector<std::string>{"a b"});
    EXPECT_EQ(parse_cue_sheet("FILE \" BINARY\nTRACK 1 MODE1/2048\nINDEX 1 0:0:0\n").bins, std::vector<std::string>{""});
}

// The lines a whole disc refuses, which the CUE modes read past.
TEST(CueSheet, CarelessLinesForAWholeDisc)
{
    const std::string two = "FILE a.bin BINARY\rTRACK 01 mode2/2352\r\nINDEX 1 0:0:0\n";
    const std::pair<std::string, std::string> cases[] = {
        {two + "TRACK 2 CDI/32705\nINDEX 00 00:00:04\nINDEX 01 00:00:04\nFILE b.bin\nTRACK 3 CDG\nINDEX 01 89:59:74\n"
         "FILE c.bin\nTRACK 4 AUDIO\nINDEX 01 00:00:00\n", ""},
        {two + "TRACK 2 MODE1/2048 \t\nINDEX 01 00:00:01 junk\nINDEX 01 00:00:00\nINDEX 01 00:99:00\n",
         "line 6: \"INDEX 01 00:00:00\" goes back before the INDEX above it in the same FILE."},
        {two + "INDEX 01 00:00:02\n    TRACK 2 MODE2/2352x \r\nINDEX 01 90:00:00\n",
         "line 5: \"TRACK 2 MODE2/2352x\" has a track type other than AUDIO, CDG, CDI/n or MODEm/nnnn."},
        {two + "INDEX 100 00:00:02\n", "line 4: \"INDEX 100 00:00:02\" does not read as INDEX nn mm:ss:ff (seconds 0-59, "
                                      "frames 0-74)."},
        {two + "INDEX 01 00:00:2\n" + std::string(100, 'x'), ""},
        {two + "INDEX 01 90:00:00" + std::string(100, 'x'), "line 4: \"INDEX 01 90:00:00" + std::string(63, 'x') +
                                                            "\" does not read as INDEX nn mm:ss:ff (seconds 0-59, frames 0-74)."},
    };
    for (const auto& [text, error] : cases) {
        ParsedSheet sheet = parse_cue_sheet(text);
        EXPECT_EQ(sheet.disc_error, error) << text;
        EXPECT_EQ(sheet.error, "") << text;
    }
    ParsedSheet lenient = parse_cue_sheet(two + "TRACK 2 MODE2/23520\nINDEX 01 00:00:2x\n");
    EXPECT_NE(lenient.disc_error, "");
    EXPECT_EQ(lenient.entries.back().sector_size, 2352u);
    EXPECT_EQ(lenient.entries.back().start_offset, 2u * 2352);
}

TEST(CueSheet, NamesAndTypeWords)
{
    using List = std::vector<std::string>;
    EXPECT_EQ(bin_candidates("d/x.cue", "sub/a.bin"), (List{"d/sub/a.bin", "sub/a.bin", "d/a.bin"}));
    EXPECT_EQ(bin_candidates("d/x.cue", "Dir/Movie.BIN"),
        (List{"d/Dir/Movie.BIN", "d/Dir/movie.bin", "Dir/Movie.BIN", "Dir/movie.bin", "d/Movie.BIN"}));
    EXPECT_EQ(bin_candidates("x.cue", "D:\\VCD\\MOVIE.BIN"), (List{"D:\\VCD\\MOVIE.BIN", "d:/vcd/movie.bin", "MOVIE.BIN"}));
    EXPECT_EQ(bin_candidates("/s/x.cue", "/abs/A.bin"), (List{"/abs/A.bin", "/abs/a.bin", "/s/A.bin"}));
    EXPECT_EQ(bin_candidates("s/x.cue", ""), (List{"s/", ""}));
    EXPECT_EQ(rewrite_bin_name("D:\\VCD\\MOVIE.BIN"), "d:/vcd/movie.bin");
    EXPECT_EQ(rewrite_bin_name("/data/CD/Movie.BIN"), "/data/CD/movie.bin");
    const std::pair<const char*, const char*> names[] = {{"movie.mpg", "movie07.mpg"}, {"v.d/movie.mpg", "v.d/movie07.mpg"},
        {"./movie.mpg", "./movie07.mpg"}, {"a.b.c", "a.b07.c"}, {"v.d/movie", "v.d/movie07"}, {"v.d\\m", "v.d\\m07"}};
    for (const auto& [name, numbered] : names) {
        output_name_template = name;
        make_track_filename(7);
        EXPECT_EQ(io.output_name, numbered);
    }
    const std::pair<const char*, std::uint32_t> types[] = {{"AUDIO", 2352}, {"CDG", 2448}, {"CDI/1", 1},
        {"CDI/32705", 32705}, {"CDI/32706", 0}, {"CDI/0", 0}, {"MODE2/2336", 2336}, {"MODE1/204", 0}, {"AUDIO2", 0}};
    for (const auto& [word, size] : types)
        EXPECT_EQ(track_type_sector_size(word), size) << word;
}

}  // namespace
