#include <gtest/gtest.h>

#include <filesystem>

#include "cue/cue_sheet.h"
#include "cue_fixtures.h"

namespace {

constexpr std::uint64_t S = 2352;

struct BinFile {
    std::string name;  // may hold folders
    std::uint64_t size;
};

void make_bins(const Scratch& s, const std::vector<BinFile>& bins)
{
    for (const BinFile& b : bins) {
        std::filesystem::create_directories(s.path(b.name).parent_path());
        make_sparse(s, b.name, b.size);
    }
}

// -track99 stops every run right after the table, before anything is copied.
std::string table_run_text(const std::string& cue, const std::string& before_summary,
                           const std::vector<TableRow>& rows)
{
    return banner + cue_header("cue2raw", cue, "out.raw") + before_summary + "- Selected track #99\n\n" +
           table_text(rows) + "\xfe Track 99 does not exist.\n\n";
}

std::string two_entries(const std::string& file_line)
{
    return file_line + "\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n  TRACK 02 MODE2/2352\n    INDEX 01 00:00:10\n";
}

const std::vector<TableRow> two_rows = {raw_row(0, 9 * S), raw_row(10, 20 * S)};

struct SheetCase {
    const char* what;
    std::string sheet;
    std::vector<BinFile> bins;
    std::string before_summary;
    std::vector<TableRow> rows;
};

void check_table_runs(const std::vector<SheetCase>& cases)
{
    for (const SheetCase& c : cases) {
        SCOPED_TRACE(c.what);
        Scratch s;
        s.write_text("x.cue", c.sheet);
        make_bins(s, c.bins);
        RunResult r = s.run({"-cue2raw", "-track99", "x", "out"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, table_run_text("x.cue", c.before_summary, c.rows));
        EXPECT_FALSE(s.exists("out.raw"));
    }
}

TEST(BinName, SecondSpellingStopsAtTheLastSlash)
{
    struct Case {
        const char* written;
        const char* want;
    } cases[] = {
        {"D:\\VCD\\MOVIE.BIN", "d:/vcd/movie.bin"},
        {"/data/CD/Movie.BIN", "/data/CD/movie.bin"},
        {"A\\B/C\\D.BIN", "A\\B/c/d.bin"},
        {"MOVIE.BIN/", "MOVIE.BIN/"},
        {"\xC4VCD.BIN", "\xC4vcd.bin"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rewrite_bin_name(c.written), c.want) << c.written;
}

TEST(CueSheet, VideoCdLayoutsGiveByteOffsets)
{
    const std::string pregap = "FILE \"movie.bin\" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n"
                               "  TRACK 02 MODE2/2352\n    INDEX 00 00:02:00\n    INDEX 01 00:04:00\n";
    check_table_runs({
        {"two tracks", vcd_sheet("\"movie.bin\"", {0, 300}), {{"movie.bin", 10000000}}, size_warning,
         {raw_row(0, 703248), raw_row(300, 9998352)}},
        {"pregap entry", pregap, {{"movie.bin", 10000000}}, size_warning,
         {raw_row(0, 149 * S), raw_row(150, 299 * S), raw_row(300, 9998352)}},
        {"BIN of whole sectors", vcd_sheet("\"movie.bin\"", {0, 300}), {{"movie.bin", 4251 * S}}, "",
         {raw_row(0, 703248), raw_row(300, 9998352)}},
    });
}

TEST(CueSheet, BinNamesAsWritten)
{
    check_table_runs({
        {"three spaces in quotes", two_entries("FILE \"my   movie.bin\" BINARY"), {{"my movie.bin", 20 * S}}, "",
         two_rows},
        {"tab in quotes", two_entries("FILE \"my\tmovie.bin\" BINARY"), {{"my movie.bin", 20 * S}}, "", two_rows},
        {"many words", two_entries("FILE \"a  b \t\t c.bin\""), {{"a b c.bin", 20 * S}}, "", two_rows},
        {"quoted word", two_entries("FILE \"movie.bin\" BINARY"), {{"movie.bin", 20 * S}}, "", two_rows},
        {"unquoted", two_entries("FILE movie.bin BINARY"), {{"movie.bin", 20 * S}}, "", two_rows},
        {"DOS path", two_entries("FILE \"D:\\VCD\\MOVIE.BIN\" BINARY"), {{"d:/vcd/movie.bin", 20 * S}}, "",
         two_rows},
        {"upper case after the last slash", two_entries("FILE sub/MOVIE.BIN BINARY"), {{"sub/movie.bin", 20 * S}},
         "", two_rows},
        {"REM holding FILE", "REM FILE other.bin\n" + two_entries("FILE movie.bin BINARY"),
         {{"other.bin", 20 * S}}, "", two_rows},
        {"second FILE ignored", two_entries("FILE a.bin BINARY") + "FILE b.bin BINARY\n  TRACK 03 MODE2/2352\n"
                                                                   "    INDEX 01 00:00:15\n",
         {{"a.bin", 30 * S}}, "", {raw_row(0, 9 * S), raw_row(10, 14 * S), raw_row(15, 30 * S)}},
    });
}

TEST(CueSheet, WordsAndLineEnds)
{
    check_table_runs({
        {"CRLF", vcd_sheet("movie.bin", {0, 10}, "MODE2/2352", "\r\n"), {{"movie.bin", 20 * S}}, "", two_rows},
        {"no line ends at all", "FILE movie.bin BINARY TRACK 01 MODE2/2352 INDEX 01 00:00:00 TRACK 02 MODE2/2352 "
                                "INDEX 01 00:00:10",
         {{"movie.bin", 20 * S}}, "", two_rows},
        {"TRACKS, INDEXED, lower case and REM",
         "FILE movie.bin BINARY\nTRACKS 01 MODE2/2352\nINDEXED 01 00:00:00\ntrack 02 MODE1/2048\n"
         "index 01 00:00:05\nREM INDEX 01 00:00:10\n",
         {{"movie.bin", 20 * S}}, "", two_rows},
        {"negative position and a later INDEX at 0",
         "FILE movie.bin BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\nINDEX 01 00:00:10\nINDEX 01 -1:00:00\n",
         {{"movie.bin", 20 * S}}, "", {raw_row(0, 9 * S), raw_row(10, 0), {-1, 0, 0, 2352, 0, 20 * S}}},
    });
}

TEST(CueSheet, TrackTypeWords)
{
    check_table_runs({
        {"CDI, CDG and AUDIO",
         "FILE m.bin\nTRACK 1 MODE2/2352\nINDEX 1 00:00:00\nTRACK 2 CDI/2336\nINDEX 1 00:00:10\n"
         "TRACK 3 CDG\nINDEX 1 00:00:20\nTRACK 4 AUDIO\nINDEX 1 00:00:40\n",
         {{"m.bin", 50 * S}}, "",
         {raw_row(0, 9 * S), {0, 0, 10, 2336, 23360, 19 * 2336}, {0, 0, 20, 2448, 20 * 2448, 39 * 2448},
          {0, 0, 40, 2352, 40 * S, 50 * S}}},
        {"Mode 1, small sizes and long words",
         "FILE m.bin\nTRACK 1 MODE1/2048\nINDEX 1 00:00:00\nTRACK 2 CDI/512\nINDEX 1 00:00:10\n"
         "TRACK 3 MODE2/23520\nINDEX 1 00:00:20\n",
         {{"m.bin", 30 * S}}, "",
         {{0, 0, 0, 2048, 0, 9 * 2048}, {0, 0, 10, 512, 5120, 19 * 512}, raw_row(20, 30 * S)}},
    });
}

TEST(CueSheet, SizeWarning)
{
    const std::string three = "FILE m.bin\nTRACK 1 MODE2/2352\nINDEX 1 00:00:00\nINDEX 1 00:04:00\nINDEX 1 00:00:50\n";
    check_table_runs({
        {"partial last sector", vcd_sheet("m.bin", {0, 10}), {{"m.bin", 20 * S + 1}}, size_warning, two_rows},
        {"an end cut to the BIN", three, {{"m.bin", 100 * S}}, size_warning,
         {raw_row(0, 100 * S), raw_row(300, 49 * S), raw_row(50, 100 * S)}},
        {"last entry at the BIN end", vcd_sheet("m.bin", {0, 100}), {{"m.bin", 100 * S}}, size_warning,
         {raw_row(0, 99 * S), raw_row(100, 100 * S)}},
        {"last entry past the BIN end", vcd_sheet("m.bin", {0, 100}), {{"m.bin", 50 * S}}, size_warning,
         {raw_row(0, 50 * S), raw_row(100, 50 * S)}},
        {"INDEX lines before FILE",
         "TRACK 1 MODE2/2352\nINDEX 1 00:00:00\nINDEX 1 00:00:05\nFILE m.bin\nINDEX 1 00:00:10\n",
         {{"m.bin", 20 * S}}, size_warning, {raw_row(0, 0), raw_row(5, 9 * S), raw_row(10, 20 * S)}},
        // Minutes are kept in 16 bits for display only.
        {"position past 4 GiB", "FILE m.bin\nTRACK 1 MODE2/2352\nINDEX 1 00:00:00\nINDEX 1 99999:00:00\n",
         {{"m.bin", 20 * S}}, size_warning, {raw_row(0, 20 * S), {-31073, 0, 0, 2352, 449995500ull * S, 20 * S}}},
        {"exact fit", vcd_sheet("m.bin", {0, 10}), {{"m.bin", 20 * S}}, "", two_rows},
    });
}

TEST(CueSheet, NinetyNineEntriesFitAndTheLastCanBeCopied)
{
    std::vector<int> starts;
    std::vector<TableRow> rows;
    for (int i = 0; i < 99; ++i) {
        starts.push_back(2 * i);
        rows.push_back(raw_row(2 * i, (2 * i + (i == 98 ? 2 : 1)) * S));
    }
    Scratch s;
    Bytes bin = data_sectors(198);
    s.write("x.bin", bin);
    s.write_text("x.cue", vcd_sheet("x.bin", starts));
    RunResult r = s.run({"-cue2raw", "-track98", "x", "out"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, banner + cue_header("cue2raw", "x.cue", "out.raw") + "- Selected track #98\n\n" +
                         table_text(rows) + track_writing(98) + raw_completed);
    EXPECT_TRUE(same_bytes(s.read("out.raw"), slice(bin, 196 * S, 2 * S)));
}

TEST(CueSheet, ReaderFailures)
{
    std::vector<int> hundred;
    for (int i = 0; i < 100; ++i)
        hundred.push_back(i);
    const std::string incomplete = "CUE file is incomplete and is missing the necessary track information.\n\n";
    const std::string missing_file = "Error in CUE file!  Missing FILE information.\n\n";
    const std::string mode1_lines =
        "\nThere are no plans to support Mode 1 images. *True* VCDs are burned as Mode 2.\n"
        "If you still wish to extract the MPEG stream from the Mode 1 image,\ntry the -cue2mpg option instead.\n"
        "NOTE: Mode 1 support in -cue2mpg not fully tested.\n";
    auto bin_missing = [](const std::string& name) {
        return name + " could not be opened or accessed.\nThe filename specified inside the CUE file could be wrong\n\n";
    };
    auto bad_type = [](const std::string& word) { return "Track type " + word + " in CUE file is not supported.\n\n"; };
    struct Case {
        const char* what;
        std::string mode;
        std::string sheet;  // empty: no sheet at all
        std::vector<BinFile> bins;
        std::string message;
    } cases[] = {
        {"no sheet", "cue2raw", "", {}, "x.cue could not be opened or accessed.\nFile may not exist.\n\n"},
        {"sheet is a folder", "cue2dat", "", {{"x.cue/f", 1}},
         "x.cue could not be opened or accessed.\nFile may not exist.\n\n"},
        {"blank sheet", "cue2raw", " \r\n\t\n", {}, missing_file},
        {"FILE as the last word", "cue2raw", "REM\nFILE", {}, bin_missing("")},
        {"BIN missing", "cue2dat", two_entries("FILE \"D:\\VCD\\MOVIE.BIN\""), {}, bin_missing("d:/vcd/movie.bin")},
        {"BIN is a folder", "cue2raw", two_entries("FILE m.bin"), {{"m.bin/f", 1}}, bin_missing("m.bin")},
        {"lone quote mark", "cue2raw", two_entries("FILE \" BINARY"), {}, bin_missing("")},
        {"closing quote never comes", "cue2mpg", "FILE \"my movie.bin", {{"my movie.bin", 10 * S}}, incomplete},
        {"100 entries", "cue2mpg", vcd_sheet("m.bin", hundred), {{"m.bin", 100 * S}},
         "Total tracks over 98.  Possible error in CUE file.\n\n"},
        {"no FILE", "cue2raw", "TRACK 01 MODE2/2352\nINDEX 01 00:00:00\nINDEX 01 00:00:10\n", {}, missing_file},
        {"byte-order mark", "cue2raw", "\xEF\xBB\xBF" + two_entries("FILE m.bin"), {{"m.bin", 20 * S}}, missing_file},
        {"lower-case file", "cue2raw", two_entries("file m.bin"), {{"m.bin", 20 * S}}, missing_file},
        {"one Mode 2 entry", "cue2mpg", vcd_sheet("m.bin", {0}), {{"m.bin", 10 * S}}, incomplete},
        {"FILE only", "cue2mpg", "FILE m.bin BINARY\n", {{"m.bin", 10 * S}}, incomplete},
        {"INDEX without TRACK", "cue2raw", "FILE m.bin\nINDEX 01 00:00:00\nINDEX 01 00:00:10\n", {{"m.bin", 20 * S}},
         incomplete},
        {"Mode 1 under cue2raw", "cue2raw", vcd_sheet("m.bin", {0}, "MODE1/2352"), {{"m.bin", 10 * S}},
         mode1_lines},
        {"Mode 1 under cue2dat", "cue2dat", vcd_sheet("m.bin", {0}, "MODE1/2048"), {{"m.bin", 10 * S}},
         mode1_lines},
        {"MODE2/FORM", "cue2raw", vcd_sheet("m.bin", {0, 10}, "MODE2/FORM"), {{"m.bin", 20 * S}},
         bad_type("MODE2/FORM")},
        {"MODE2", "cue2raw", vcd_sheet("m.bin", {0, 10}, "MODE2"), {{"m.bin", 20 * S}}, bad_type("MODE2")},
        {"audio", "cue2raw", vcd_sheet("m.bin", {0, 10}, "audio"), {{"m.bin", 20 * S}}, bad_type("audio")},
        {"MODE2/0000", "cue2raw", vcd_sheet("m.bin", {0, 10}, "MODE2/0000"), {{"m.bin", 20 * S}},
         bad_type("MODE2/0000")},
        {"CDI/0", "cue2mpg", vcd_sheet("m.bin", {0, 10}, "CDI/0"), {{"m.bin", 20 * S}}, bad_type("CDI/0")},
        {"CDI/32706", "cue2mpg", vcd_sheet("m.bin", {0, 10}, "CDI/32706"), {{"m.bin", 20 * S}},
         bad_type("CDI/32706")},
        {"CDI/-2352", "cue2mpg", vcd_sheet("m.bin", {0, 10}, "CDI/-2352"), {{"m.bin", 20 * S}},
         bad_type("CDI/-2352")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Scratch s;
        if (!c.sheet.empty())
            s.write_text("x.cue", c.sheet);
        make_bins(s, c.bins);
        std::vector<std::string> before = s.files();
        RunResult r = s.run({"-" + c.mode, "x", "out"});
        std::string out = c.mode == "cue2raw" ? "out.raw" : c.mode == "cue2dat" ? "out.dat" : "out.mpg";
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, banner + cue_header(c.mode, "x.cue", out) + c.message);
        EXPECT_EQ(s.files(), before);
    }
}

TEST(CueSheet, BinIsLookedForBesideTheSheet)
{
    Scratch s;
    std::filesystem::create_directories(s.path("sub"));
    s.write_text("sub/x.cue", two_entries("FILE \"X.BIN\" BINARY"));
    RunResult missing = s.run({"-cue2raw", "sub/x", "out"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, banner + cue_header("cue2raw", "sub/x.cue", "out.raw") +
                               "x.bin could not be opened or accessed.\n"
                               "The filename specified inside the CUE file could be wrong\n\n");
    for (const char* name : {"sub/X.BIN", "sub/x.bin"}) {
        SCOPED_TRACE(name);
        Bytes bin = data_sectors(20);
        s.write(name, bin);
        RunResult r = s.run({"-cue2raw", "-track1", "sub/x", "out"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, banner + cue_header("cue2raw", "sub/x.cue", "out.raw") + "- Selected track #1\n\n" +
                             table_text(two_rows) + track_writing(1) + raw_completed);
        EXPECT_TRUE(same_bytes(s.read("out.raw"), slice(bin, 10 * S, 10 * S)));
        std::filesystem::remove(s.path(name));
    }
}

}  // namespace
