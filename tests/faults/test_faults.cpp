// Hostile and broken surroundings: full disks, missing folders, unreadable
// or absurd inputs, extreme sizes. Each ends with a clear message and status
// 1 (a truncated BIN only warns), never with a signal or a hang.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/corrections.h"
#include "fixtures.h"
#include "harness.h"
#include "stream_fixtures.h"

namespace fs = std::filesystem;

namespace {

void expect_clean_end(const RunResult& r, int status = 1)
{
    EXPECT_EQ(r.signal, 0);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, status);
}

bool ends_with(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

const std::string cue_sheet = "FILE \"image.bin\" BINARY\n"
                              "  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n"
                              "  TRACK 02 MODE2/2352\n    INDEX 01 00:00:04\n";
// Four data sectors, then the movie track from sector 4.
Bytes cue_image(std::size_t movie_blocks = 6)
{
    return concat({raw_track(zeros(4 * block_size)), raw_track(mpeg_stream(movie_blocks), 4)});
}

std::string cue_header(const std::string& method, const std::string& cue, const std::string& output)
{
    const char* destination = method == "cue2raw"   ? "RAW image destination --> "
                              : method == "cue2dat" ? "VCD DAT destination --> "
                                                    : "MPEG destination --> ";
    return banner + "CUE source --> " + cue + "\n" + destination + output + "\nExtraction method --> " + method +
           "\n";
}

std::string table_row(int i, int m, int s, int f, unsigned long start, unsigned long end)
{
    char row[128];
    std::snprintf(row, sizeof row, "    %d        %.2d:%.2d.%.2d     %.4d bytes/sector    %9ld      %9ld\n", i, m, s,
                  f, 2352, static_cast<long>(start), static_cast<long>(end));
    return row;
}
const std::string table_head = " Track #     mm:ss.ff     Sector Size          LBA Start        LBA End    \n";

struct ModeInput {
    const char* mode;
    Bytes input;
    const char* in;
};

std::vector<ModeInput> single_file_modes()
{
    Bytes stream = mpeg_stream(5);
    return {
        {"-raw2mpg", raw_track(stream), "in.raw"}, {"-cif2mpg", cif_track(stream), "in.cif"},
        {"-mpg2mpg", stream, "in.mpg"},            {"-dat2mpg", dat_file(raw_track(stream)), "in.dat"},
        {"-raw2dat", raw_track(stream), "in.raw"}, {"-mpg2dat", stream, "in.mpg"},
    };
}

// "/dev/./full" has an extension, so no default one is added.
TEST(Faults, FullDiskEndsTheRunAtOnce)
{
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full on this system";
    std::vector<ModeInput> cases = single_file_modes();
    cases.push_back({"-mpg2mpg", mpeg_stream(1000), "big.mpg"});  // fails before the copy ends
    for (const char* cue_mode : {"-cue2raw", "-cue2mpg", "-cue2dat"})
        cases.push_back({cue_mode, {}, "image.cue"});
    for (const ModeInput& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + " " + c.in);
        Scratch s;
        s.write(c.in, c.input);
        if (std::string(c.in) == "image.cue") {
            s.write_text("image.cue", cue_sheet);
            s.write("image.bin", cue_image());
        }
        RunResult r = s.run({"-fix", c.mode, "-fix", c.in, "/dev/./full"});
        expect_clean_end(r);
        EXPECT_TRUE(ends_with(r.out, "/dev/./full could not be written.\n")) << r.out;
        EXPECT_EQ(r.out.find("completed"), std::string::npos);
        EXPECT_EQ(r.out.find("correction"), std::string::npos);
        EXPECT_EQ(r.out.find("could not be written"), r.out.rfind("could not be written"));
    }
}

TEST(Faults, InputThatIsNoFile)
{
    for (const char* kind : {"folder", "fifo"}) {
        std::vector<ModeInput> cases = single_file_modes();
        cases.push_back({"-cue2mpg", {}, "image.cue"});
        for (const ModeInput& c : cases) {
            SCOPED_TRACE(std::string(kind) + " " + c.mode);
            Scratch s;
            if (std::string(kind) == "folder")
                fs::create_directory(s.path(c.in));
            else
                ASSERT_EQ(mkfifo(s.path(c.in).c_str(), 0600), 0);
            RunResult r = s.run({c.mode, c.in, "out.x"}, 20);
            expect_clean_end(r);
            bool cue = std::string(c.mode) == "-cue2mpg";
            std::string message = cue ? std::string(c.in) + " could not be opened or accessed.\nFile may not exist.\n\n"
                                      : expect::open_failed(c.in);
            EXPECT_TRUE(ends_with(r.out, message)) << r.out;
            EXPECT_FALSE(s.exists("out.x"));
        }
    }
}

// Runs as root, so the unreadable file is tried by an unprivileged user.
TEST(Faults, UnreadableInput)
{
    Scratch s;
    fs::permissions(s.dir(), fs::perms::owner_all | fs::perms::others_exec | fs::perms::group_exec);
    const std::vector<std::string> as_nobody = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    std::vector<std::string> probe = as_nobody;
    probe.insert(probe.end(), {mivaro_path(), "-raw2mpg", "x.raw", "y.mpg"});
    RunResult tried = run_program_in(s.dir(), probe, 20);
    if (tried.status == 126 || tried.status == 127 || tried.out.find("Mivaro") == std::string::npos)
        GTEST_SKIP() << "setpriv is missing or cannot run mivaro as an unprivileged user";

    fs::create_directory(s.path("locked"));
    fs::permissions(s.path("locked"), fs::perms::owner_all);
    s.write("locked/in.raw", raw_track(mpeg_stream(5)));
    s.write("open.raw", raw_track(mpeg_stream(5)));
    s.write_text("sheet.cue", cue_sheet);
    for (const char* name : {"locked/in.raw", "open.raw", "sheet.cue"})
        fs::permissions(s.path(name), fs::perms::none);
    struct Case {
        const char* mode;
        const char* in;
        std::string message;
    };
    const Case cases[] = {
        {"-raw2mpg", "locked/in.raw", expect::open_failed("locked/in.raw")},
        {"-raw2dat", "open.raw", expect::open_failed("open.raw")},
        {"-cue2mpg", "sheet.cue", "sheet.cue could not be opened or accessed.\nFile may not exist.\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        std::vector<std::string> args = as_nobody;
        args.insert(args.end(), {mivaro_path(), c.mode, c.in, "out.x"});
        RunResult r = run_program_in(s.dir(), args, 20);
        expect_clean_end(r);
        EXPECT_TRUE(ends_with(r.out, c.message)) << r.out;
    }
}

TEST(Faults, AbsurdCueSheets)
{
    std::mt19937 rng(7);
    Bytes noise(64 * 1024);
    for (auto& b : noise)
        b = static_cast<std::uint8_t>(rng());
    std::string many = "FILE image.bin BINARY\nTRACK 01 MODE2/2352\n";
    for (int i = 0; i < 10000; ++i)
        many += "INDEX 01 00:00:" + std::to_string(i % 60) + "\n";
    const std::string one_entry = "FILE image.bin BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\n";
    struct Case {
        const char* name;
        Bytes sheet;
        std::string message;
    };
    const Case cases[] = {
        {"10000 INDEX lines", Bytes(many.begin(), many.end()), "Total tracks over 98.  Possible error in CUE file.\n\n"},
        {"empty", {}, "Error in CUE file!  Missing FILE information.\n\n"},
        {"binary noise", noise, "Error in CUE file!  Missing FILE information.\n\n"},
        {"one entry, then noise", concat({Bytes(one_entry.begin(), one_entry.end()), noise}),
         "CUE file is incomplete and is missing the necessary track information.\n\n"},
        {"a BIN name of 100000 characters", concat({{'F', 'I', 'L', 'E', ' '}, Bytes(100000, 'A')}),
         std::string(100000, 'a') + " could not be opened or accessed.\n"
                                    "The filename specified inside the CUE file could be wrong\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scratch s;
        s.write("x.cue", c.sheet);
        s.write("image.bin", cue_image());
        RunResult r = s.run({"-cue2mpg", "x.cue", "out.mpg"}, 60);
        expect_clean_end(r);
        EXPECT_EQ(r.out, cue_header("cue2mpg", "x.cue", "out.mpg") + c.message);
        EXPECT_FALSE(s.exists("out.mpg"));
    }
}

TEST(Faults, InputsOfFourGiBAreRefused)
{
    struct Case {
        const char* mode;
        const char* in;
        std::string method;
    };
    const Case cases[] = {
        {"-raw2mpg", "big.raw", "raw2mpg"},
        {"-mpg2dat", "big.mpg", "mpg2dat"},
        {"-dat2mpg", "big.dat", "dat2mpg"},
        {"-cue2mpg", "big.cue", "cue2mpg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        Scratch s;
        bool cue = c.method == "cue2mpg";
        std::string big = cue ? "image.bin" : c.in;
        if (cue)
            s.write_text(c.in, cue_sheet);
        int fd = ::open(s.path(big).c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, off_t{1} << 32), 0) << "no sparse files here";
        ::close(fd);
        RunResult r = s.run({c.mode, c.in, "out.x"});
        expect_clean_end(r);
        std::string head = cue ? cue_header("cue2mpg", c.in, "out.x") : banner + expect::header(c.method, c.in, "out.x");
        EXPECT_EQ(r.out, head + big + " is too large: files of 4 GiB or more are not supported.\n");
    }
}

TEST(Faults, ExtremeSectorSizes)
{
    Bytes image = raw_track(mpeg_stream(30));
    auto from = [&](std::size_t at, std::size_t n) { return slice(image, at, n); };
    const std::string refused_write =
        " bytes: bytes never read would be written.\n";
    struct Case {
        std::vector<std::string> options;
        std::string summary;
        int status;
        std::string result;  // what follows the header, or the whole text after the banner when refused early
        Bytes want;
    };
    auto range = [](const char* option, const std::string& value) {
        return std::string(option) + value + ": the " + (option[1] == 'r' ? "read" : "write") +
               " sector size must be from 1 to 32705 bytes.\n";
    };
    const Case cases[] = {
        {{"-raw2mpg", "-r0", "-w0"}, "", 0, "", slice(mpeg_stream(30), 0, 29 * block_size)},
        {{"-raw2mpg", "-r1", "-w1"}, expect::read_size_line(1) + expect::write_size_line(1), 0, "",
         from(24, image.size())},
        {{"-raw2mpg", "-r32705"}, expect::read_size_line(32705), 0, "",
         concat({from(24, 2324), from(24 + 32705, 2324)})},
        {{"-raw2mpg", "-r32705", "-w32705"}, expect::read_size_line(32705) + expect::write_size_line(32705), 0, "",
         from(24, 2 * 32705)},
        {{"-raw2dat", "-r1"}, expect::read_size_line(1), 0, "", dat_file(image)},
        {{"-raw2mpg", "-r1"}, expect::read_size_line(1), 1,
         "Write size of 2324 bytes is larger than the read size of 1" + refused_write, {}},
        {{"-raw2mpg", "-w32705"}, expect::write_size_line(32705), 1,
         "Write size of 32705 bytes is larger than the read size of 2352" + refused_write, {}},
        {{"-raw2mpg", "-r32706"}, "", 1, range("-r", "32706"), {}},
        {{"-raw2mpg", "-w32706"}, "", 1, range("-w", "32706"), {}},
        {{"-raw2mpg", "-r-1"}, "", 1, range("-r", "-1"), {}},
        {{"-raw2dat", "-w-1"}, "", 1, range("-w", "-1"), {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.options;
        SCOPED_TRACE(args[1] + (args.size() > 2 ? " " + args[2] : ""));
        bool dat = args[0] == "-raw2dat";
        std::string out = dat ? "out.dat" : "out.mpg";
        args.insert(args.end(), {"in.raw", out});
        Scratch s;
        s.write("in.raw", image);
        RunResult r = s.run(args);
        expect_clean_end(r, c.status);
        std::string header = expect::header(dat ? "raw2dat" : "raw2mpg", "in.raw", out, c.summary);
        if (c.status == 0) {
            EXPECT_EQ(r.out, banner + header + expect::searching + expect::scan0 + expect::writing + expect::copy0 +
                                 expect::completed(out));
            EXPECT_TRUE(same_bytes(s.read(out), c.want));
        } else {
            bool range_refusal = c.result.find("must be from") != std::string::npos;
            EXPECT_EQ(r.out, banner + (range_refusal ? "" : header) + c.result);
            EXPECT_FALSE(s.exists(out));
        }
    }
    // atoi's value past the int range is the C library's business; it is
    // refused either way.
    Scratch s;
    s.write("in.raw", image);
    RunResult r = s.run({"-raw2mpg", "-r99999999999", "in.raw", "out.mpg"});
    expect_clean_end(r);
    EXPECT_EQ(r.out.rfind(banner + "-r", 0), 0u) << r.out;
    EXPECT_TRUE(ends_with(r.out, ": the read sector size must be from 1 to 32705 bytes.\n")) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4);
}

TEST(Faults, NamesTheSystemRefuses)
{
    const std::string long_name = std::string(5000, 'n') + ".raw";
    Scratch s;
    s.write("in.raw", raw_track(mpeg_stream(5)));
    RunResult r = s.run({"-raw2mpg", long_name, "out.mpg"});
    expect_clean_end(r);
    EXPECT_EQ(r.out, banner + expect::header("raw2mpg", long_name, "out.mpg") + expect::open_failed(long_name));

    r = s.run({"-raw2mpg", "in.raw", long_name});
    expect_clean_end(r);
    EXPECT_EQ(r.out, banner + expect::header("raw2mpg", "in.raw", long_name) + expect::searching + expect::scan0 +
                         long_name + " could not be written.\n");

    r = s.run({"-cue2raw", long_name, "out.raw"});
    expect_clean_end(r);
    EXPECT_EQ(r.out, cue_header("cue2raw", long_name, "out.raw") + long_name +
                         " could not be opened or accessed.\nFile may not exist.\n\n");
}

// A BIN shorter than its sheet: a warning, then every whole sector there is.
TEST(Faults, TruncatedBin)
{
    const std::string warning = "\n** BIN size does not match size expected in CUE file. **\n\n";
    const std::string three_tracks = cue_sheet + "  TRACK 03 MODE2/2352\n    INDEX 01 00:00:20\n";
    Bytes image = cue_image(20);  // 24 sectors
    std::string writing1 = "\xfe                 Track 1 -> writing...\r";
    std::string completed_raw = "\n\xfe completed. Track(s) written.\n\n";
    {
        SCOPED_TRACE("mid-sector");
        Scratch s;
        s.write_text("image.cue", cue_sheet);
        s.write("image.bin", slice(image, 0, 10 * 2352 - 1000));
        RunResult r = s.run({"-cue2raw", "image.cue", "out.raw"});
        expect_clean_end(r, 0);
        EXPECT_EQ(r.out, cue_header("cue2raw", "image.cue", "out.raw") + warning + "\n" + table_head +
                             table_row(0, 0, 0, 0, 0, 3 * 2352) + table_row(1, 0, 0, 4, 4 * 2352, 9 * 2352) + "\n" +
                             writing1 + completed_raw);
        EXPECT_TRUE(same_bytes(s.read("out.raw"), slice(image, 4 * 2352, 5 * 2352)));
    }
    {
        SCOPED_TRACE("mid-track");
        Scratch s;
        s.write_text("image.cue", three_tracks);
        s.write("image.bin", slice(image, 0, 12 * 2352));
        RunResult r = s.run({"-cue2raw", "image.cue", "out.raw"});
        expect_clean_end(r, 0);
        EXPECT_EQ(r.out, cue_header("cue2raw", "image.cue", "out.raw") + warning + "\n" + table_head +
                             table_row(0, 0, 0, 0, 0, 3 * 2352) + table_row(1, 0, 0, 4, 4 * 2352, 12 * 2352) +
                             table_row(2, 0, 0, 20, 20 * 2352, 12 * 2352) + "\n" + writing1 +
                             "\xfe                 Track 2 -> writing...\r" + completed_raw);
        EXPECT_TRUE(same_bytes(s.read("out01.raw"), slice(image, 4 * 2352, 8 * 2352)));
        EXPECT_TRUE(same_bytes(s.read("out02.raw"), {}));
    }
}

// Creating the output empties the input: what the reader had not fetched
// yet is gone, and the run must say so instead of writing anything unread.
// Creating the output would truncate the input before it is read: refused,
// whatever name or link leads to the same file, and the input stays intact.
TEST(Faults, OutputThatIsAnInputIsRefused)
{
    Bytes stream = mpeg_stream(1400);  // over 1 MiB: more than one read buffer
    Scratch s;
    s.write("movie.mpg", stream);
    std::filesystem::create_symlink("movie.mpg", s.path("link.mpg"));
    for (const char* output : {"movie.mpg", "link.mpg"}) {
        RunResult r = s.run({"-mpg2mpg", "-fix", "movie.mpg", output});
        expect_clean_end(r);
        EXPECT_TRUE(ends_with(r.out, std::string(output) + " is an input of this run and is not overwritten.\n" +
                                         output + " could not be written.\n\xfe 0 MPEG block correction(s) applied.\n\n"))
            << r.out;
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(same_bytes(s.read("movie.mpg"), stream));
    }

    // A single-track CUE image written over its own BIN.
    Scratch c;
    Bytes bin = concat({raw_track(zeros(block_size), 0), raw_track(mpeg_stream(4), 1)});
    c.write("img.bin", bin);
    c.write_text("img.cue", "FILE \"img.bin\" BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\n"
                            "TRACK 02 MODE2/2352\nINDEX 01 00:00:01\n");
    for (const char* mode : {"-cue2raw", "-cue2mpg", "-cue2dat"}) {
        RunResult r = c.run({mode, "img.cue", "img.bin"});
        expect_clean_end(r);
        EXPECT_NE(r.out.find("img.bin is an input of this run and is not overwritten.\n"
                             "\xfe ERROR: could not write Track 1       \n"),
                  std::string::npos)
            << mode << r.out;
        EXPECT_EQ(r.status, 1) << mode;
        EXPECT_TRUE(same_bytes(c.read("img.bin"), bin)) << mode;
    }
}

}  // namespace
