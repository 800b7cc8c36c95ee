#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>

#include "fixtures.h"
#include "harness.h"

namespace {

using cue::raw_row;
constexpr std::uint64_t S = 2352;

struct BinFile {
    std::string name;  // may hold folders
    std::uint64_t size;
};

// BINs that take no room on disk.
void make_bins(const Scratch& s, const std::vector<BinFile>& bins)
{
    for (const BinFile& b : bins) {
        std::filesystem::create_directories(s.path(b.name).parent_path());
        int fd = ::open(s.path(b.name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ftruncate(fd, static_cast<off_t>(b.size)) != 0)
            throw std::runtime_error("cannot make " + b.name);
        ::close(fd);
    }
}

std::string two_entries(const std::string& file_line)
{
    return file_line + "\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n  TRACK 02 MODE2/2352\n    INDEX 01 00:00:10\n";
}

const std::vector<cue::Row> two_rows = {raw_row(0, 9 * S), raw_row(10, 20 * S)};

// Each run asks for track 99, so it stops right after printing the table.
TEST(CueSheet, TableAsRead)
{
    struct Case {
        const char* what;
        std::string sheet;
        std::vector<BinFile> bins;
        bool warning;
        std::vector<cue::Row> rows;
        std::string cue = "x.cue";
    };
    std::vector<Case> cases = {
        {"two tracks", cue::sheet("\"movie.bin\"", {0, 300}), {{"movie.bin", 10000000}}, true,
         {raw_row(0, 703248), raw_row(300, 9998352)}},
        {"pregap entry",
         "FILE \"movie.bin\" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n"
         "  TRACK 02 MODE2/2352\n    INDEX 00 00:02:00\n    INDEX 01 00:04:00\n",
         {{"movie.bin", 10000000}}, true, {raw_row(0, 149 * S), raw_row(150, 299 * S), raw_row(300, 9998352)}},
        {"spaces and tabs in quotes", two_entries("FILE \"my   big\t movie.bin\" BINARY"),
         {{"my big movie.bin", 20 * S}}, false, two_rows},
        {"DOS path", two_entries("FILE \"D:\\VCD\\MOVIE.BIN\" BINARY"), {{"d:/vcd/movie.bin", 20 * S}}, false,
         two_rows},
        {"only the last component rewritten", two_entries("FILE SUB/MOVIE.BIN BINARY"),
         {{"SUB/movie.bin", 20 * S}}, false, two_rows},
        {"beside the sheet", two_entries("FILE \"X.BIN\" BINARY"), {{"sub/x.bin", 20 * S}}, false, two_rows,
         "sub/x.cue"},
        {"REM holding FILE, second FILE skipped",
         "REM FILE other.bin\n" + two_entries("FILE movie.bin BINARY") +
             "FILE b.bin BINARY\n  TRACK 03 MODE2/2352\n    INDEX 01 00:00:15\n",
         {{"other.bin", 30 * S}}, false, {raw_row(0, 9 * S), raw_row(10, 14 * S), raw_row(15, 30 * S)}},
        {"CRLF", cue::sheet("movie.bin", {0, 10}, "AUDIO", "\r\n"), {{"movie.bin", 20 * S}}, false, two_rows},
        {"TRACKS, INDEXED, lower case and REM",
         "FILE movie.bin BINARY\nTRACKS 01 MODE2/2352\nINDEXED 01 00:00:00\ntrack 02 MODE1/2048\n"
         "index 01 00:00:05\nREM INDEX 01 00:00:10\n",
         {{"movie.bin", 20 * S}}, false, two_rows},
        {"INDEX at 0 closes the previous entry at 0",
         "FILE m.bin\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\nINDEX 01 00:00:10\nINDEX 01 00:00:00\n",
         {{"m.bin", 20 * S}}, false, {raw_row(0, 9 * S), raw_row(10, 0), raw_row(0, 20 * S)}},
        {"type words",
         "FILE m.bin\nTRACK 1 MODE2/2352\nINDEX 1 00:00:00\nTRACK 2 CDI/512\nINDEX 1 00:00:10\nTRACK 3 CDG\n"
         "INDEX 1 00:00:20\nTRACK 4 AUDIO\nINDEX 1 00:00:40\nTRACK 5 MODE2/23520\nINDEX 1 00:00:50\n",
         {{"m.bin", 60 * S}}, false,
         {raw_row(0, 9 * S), {0, 0, 10, 512, 5120, 19 * 512}, {0, 0, 20, 2448, 20 * 2448, 39 * 2448},
          {0, 0, 40, 2352, 40 * S, 49 * S}, raw_row(50, 60 * S)}},
        {"an end cut to the BIN",
         "FILE m.bin\nTRACK 1 MODE2/2352\nINDEX 1 00:00:00\nINDEX 1 00:04:00\nINDEX 1 00:00:50\n",
         {{"m.bin", 100 * S}}, true, {raw_row(0, 100 * S), raw_row(300, 49 * S), raw_row(50, 100 * S)}},
        {"last entry at the BIN end", cue::sheet("m.bin", {0, 100}), {{"m.bin", 100 * S}}, true,
         {raw_row(0, 99 * S), raw_row(100, 100 * S)}},
        {"INDEX lines before FILE",
         "TRACK 1 MODE2/2352\nINDEX 1 00:00:00\nINDEX 1 00:00:05\nFILE m.bin\nINDEX 1 00:00:10\n",
         {{"m.bin", 20 * S}}, true, {raw_row(0, 0), raw_row(5, 9 * S), raw_row(10, 20 * S)}},
    };
    Case most{"99 entries", "", {{"m.bin", 198 * S}}, false, {}};
    std::vector<int> starts;
    for (int i = 0; i < 99; ++i) {
        starts.push_back(2 * i);
        most.rows.push_back(raw_row(2 * i, (2 * i + (i == 98 ? 2 : 1)) * S));
    }
    most.sheet = cue::sheet("m.bin", starts);
    cases.push_back(most);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Scratch s;
        make_bins(s, c.bins);
        s.write_text(c.cue, c.sheet);
        RunResult r = s.run({"-cue2raw", "-track99", c.cue, "out"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, cue::header("cue2raw", c.cue, "out.raw") + (c.warning ? cue::size_warning : "") +
                             "- Selected track #99\n\n" + cue::table(c.rows) + "\xfe Track 99 does not exist.\n\n");
        EXPECT_FALSE(s.exists("out.raw"));
    }
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
    struct Case {
        const char* what;
        std::string mode;
        std::string sheet;  // empty: no sheet at all
        std::vector<BinFile> bins;
        std::string message;
    };
    std::vector<Case> cases = {
        {"no sheet", "cue2raw", "", {}, "x.cue could not be opened or accessed.\nFile may not exist.\n\n"},
        {"BIN missing", "cue2dat", two_entries("FILE \"D:\\VCD\\MOVIE.BIN\""), {},
         "d:/vcd/movie.bin could not be opened or accessed.\n"
         "The filename specified inside the CUE file could be wrong\n\n"},
        {"100 entries", "cue2mpg", cue::sheet("m.bin", hundred), {{"m.bin", 100 * S}},
         "Total tracks over 98.  Possible error in CUE file.\n\n"},
        {"no FILE", "cue2raw", "TRACK 01 MODE2/2352\nINDEX 01 00:00:00\nINDEX 01 00:00:10\n", {}, missing_file},
        {"byte-order mark", "cue2raw", "\xEF\xBB\xBF" + two_entries("FILE m.bin"), {{"m.bin", 20 * S}}, missing_file},
        {"lower-case file", "cue2raw", two_entries("file m.bin"), {{"m.bin", 20 * S}}, missing_file},
        {"closing quote never comes", "cue2mpg", "FILE \"my movie.bin", {{"my movie.bin", 10 * S}}, incomplete},
        {"one Mode 2 entry", "cue2mpg", cue::sheet("m.bin", {0}), {{"m.bin", 10 * S}}, incomplete},
        {"INDEX without TRACK", "cue2raw", "FILE m.bin\nINDEX 01 00:00:00\nINDEX 01 00:00:10\n", {{"m.bin", 20 * S}},
         incomplete},
        {"Mode 1 under cue2raw", "cue2raw", cue::sheet("m.bin", {0}, "MODE1/2352"), {{"m.bin", 10 * S}}, mode1_lines},
        {"Mode 1 under cue2dat", "cue2dat", cue::sheet("m.bin", {0}, "MODE1/2048"), {{"m.bin", 10 * S}}, mode1_lines},
    };
    for (const char* word : {"MODE2/FORM", "audio", "MODE2/0000", "CDI/32706"})
        cases.push_back({word, "cue2mpg", cue::sheet("m.bin", {0, 10}, word), {{"m.bin", 20 * S}},
                         "Track type " + std::string(word) + " in CUE file is not supported.\n\n"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Scratch s;
        if (!c.sheet.empty())
            s.write_text("x.cue", c.sheet);
        make_bins(s, c.bins);
        std::vector<std::string> before = s.files();
        RunResult r = s.run({"-" + c.mode, "x", "out"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, cue::header(c.mode, "x.cue", "out." + c.mode.substr(4)) + c.message);
        EXPECT_EQ(s.files(), before);
    }
}

}  // namespace
