// Hostile and broken surroundings: full disks, missing folders, unreadable
// or absurd inputs, extreme sizes. Each ends with a clear message and status
// 1 (a truncated BIN only warns), never with a signal or a hang.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "stream_fixtures.h"

namespace fs = std::filesystem;

namespace {

void expect_clean_end(const RunResult& r, int status = 1)
{
    EXPECT_EQ(r.signal, 0);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, status);
}

// Four data sectors, then the movie track from sector 4.
const std::string cue_sheet = cue::sheet("image.bin", {0, 4});
Bytes cue_image(std::size_t movie_blocks = 6)
{
    return concat({cue::data_sectors(4), raw_track(mpeg_stream(movie_blocks), 4)});
}

const std::string cue_open_failed = " could not be opened or accessed.\nFile may not exist.\n\n";

const std::vector<std::string> modes = {"-raw2mpg", "-cif2mpg", "-mpg2mpg", "-dat2mpg", "-raw2dat",
                                        "-mpg2dat", "-cue2raw", "-cue2mpg", "-cue2dat"};

std::string in_name(const std::string& mode)
{
    return mode.starts_with("-cue") ? "image.cue" : "in.x";
}

// An input the mode converts (for the CUE modes, the BIN).
Bytes input_for(const std::string& mode)
{
    Bytes stream = mpeg_stream(5);
    if (mode.starts_with("-cue"))
        return cue_image();
    if (mode == "-cif2mpg")
        return cif_track(stream);
    if (mode == "-dat2mpg")
        return dat_file(raw_track(stream));
    return mode.starts_with("-mpg") ? stream : raw_track(stream);
}

// "/dev/./full" has an extension, so no default one is added.
TEST(Faults, FullDiskEndsTheRunAtOnce)
{
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full on this system";
    std::vector<std::pair<std::string, Bytes>> cases;
    for (const std::string& mode : modes)
        cases.emplace_back(mode, input_for(mode));
    cases.emplace_back("-mpg2mpg", mpeg_stream(1000));  // fails before the copy ends
    for (const auto& [mode, input] : cases) {
        SCOPED_TRACE(mode + " " + std::to_string(input.size()));
        Scratch s;
        s.write(mode.starts_with("-cue") ? "image.bin" : "in.x", input);
        s.write_text("image.cue", cue_sheet);
        RunResult r = s.run({"-fix", mode, "-fix", in_name(mode), "/dev/./full"});
        expect_clean_end(r);
        EXPECT_TRUE(r.out.ends_with("/dev/./full could not be written.\n")) << r.out;
        EXPECT_EQ(r.out.find("completed"), std::string::npos);
        EXPECT_EQ(r.out.find("correction"), std::string::npos);
        EXPECT_EQ(r.out.find("could not be written"), r.out.rfind("could not be written"));
    }
}

TEST(Faults, InputThatIsNoFile)
{
    for (std::string kind : {"folder", "fifo"}) {
        for (const std::string& mode : modes) {
            SCOPED_TRACE(kind + " " + mode);
            Scratch s;
            std::string in = in_name(mode);
            if (kind == "folder")
                fs::create_directory(s.path(in));
            else
                ASSERT_EQ(mkfifo(s.path(in).c_str(), 0600), 0);
            RunResult r = s.run({mode, in, "out.x"}, 20);
            expect_clean_end(r);
            EXPECT_TRUE(r.out.ends_with(mode.starts_with("-cue") ? in + cue_open_failed : expect::open_failed(in)))
                << r.out;
            EXPECT_FALSE(s.exists("out.x"));
        }
    }
}

// Runs as root, so the unreadable files are tried by an unprivileged user.
TEST(Faults, UnreadableInput)
{
    Scratch s;
    fs::permissions(s.dir(), fs::perms::owner_all | fs::perms::others_exec | fs::perms::group_exec);
    s.write("in.raw", raw_track(mpeg_stream(5)));
    s.write_text("sheet.cue", cue_sheet);
    fs::permissions(s.path("in.raw"), fs::perms::none);
    fs::permissions(s.path("sheet.cue"), fs::perms::none);
    for (const char* in : {"in.raw", "sheet.cue"}) {
        SCOPED_TRACE(in);
        bool cue = std::string(in) == "sheet.cue";
        RunResult r = run_program_in(s.dir(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                               mivaro_path(), cue ? "-cue2mpg" : "-raw2dat", in, "out.x"}, 20);
        if (r.status == 126 || r.status == 127 || r.out.find("Mivaro") == std::string::npos)
            GTEST_SKIP() << "setpriv is missing or cannot run mivaro as an unprivileged user";
        expect_clean_end(r);
        EXPECT_TRUE(r.out.ends_with(cue ? in + cue_open_failed : expect::open_failed(in))) << r.out;
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
    const std::string no_file = "Error in CUE file!  Missing FILE information.\n\n";
    const std::pair<Bytes, std::string> cases[] = {
        {Bytes(many.begin(), many.end()), "Total tracks over 98.  Possible error in CUE file.\n\n"},
        {{}, no_file},
        {noise, no_file},
    };
    for (const auto& [sheet, message] : cases) {
        SCOPED_TRACE(sheet.size());
        Scratch s;
        s.write("x.cue", sheet);
        s.write("image.bin", cue_image());
        RunResult r = s.run({"-cue2mpg", "x.cue", "out.mpg"}, 60);
        expect_clean_end(r);
        EXPECT_EQ(r.out, cue::header("cue2mpg", "x.cue", "out.mpg") + message);
        EXPECT_FALSE(s.exists("out.mpg"));
    }
}

// Sparse files of exactly 4 GiB.
TEST(Faults, InputsOfFourGiBAreRefused)
{
    for (const char* mode : {"-raw2mpg", "-mpg2dat", "-dat2mpg", "-cue2mpg"}) {
        SCOPED_TRACE(mode);
        Scratch s;
        bool cue = std::string(mode) == "-cue2mpg";
        std::string big = cue ? "image.bin" : "big.x";
        s.write_text("big.cue", cue_sheet);
        int fd = ::open(s.path(big).c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, off_t{1} << 32), 0) << "no sparse files here";
        ::close(fd);
        std::string in = cue ? "big.cue" : big;
        RunResult r = s.run({mode, in, "out.x"});
        expect_clean_end(r);
        std::string head = cue ? cue::header("cue2mpg", in, "out.x") : banner + expect::header(mode, in, "out.x");
        EXPECT_EQ(r.out, head + big + " is too large: files of 4 GiB or more are not supported.\n");
    }
}

TEST(Faults, NamesTheSystemRefuses)
{
    const std::string long_name = std::string(5000, 'n') + ".raw";
    Scratch s;
    s.write("in.raw", raw_track(mpeg_stream(5)));
    RunResult r = s.run({"-raw2mpg", long_name, "out.mpg"});
    expect_clean_end(r);
    EXPECT_EQ(r.out, banner + expect::header("-raw2mpg", long_name, "out.mpg") + expect::open_failed(long_name));
    r = s.run({"-raw2mpg", "in.raw", long_name});
    expect_clean_end(r);
    EXPECT_EQ(r.out, banner + expect::header("-raw2mpg", "in.raw", long_name) + expect::searching + expect::scan0 +
                         long_name + " could not be written.\n");
    r = s.run({"-cue2raw", long_name, "out.raw"});
    expect_clean_end(r);
    EXPECT_EQ(r.out, cue::header("cue2raw", long_name, "out.raw") + long_name + cue_open_failed);
}

// A BIN shorter than its sheet: a warning, then every whole sector there is.
TEST(Faults, TruncatedBin)
{
    const std::string head = cue::header("cue2raw", "image.cue", "out.raw") + cue::size_warning + "\n";
    Bytes image = cue_image(20);  // 24 sectors
    Scratch s;
    s.write_text("image.cue", cue_sheet);
    s.write("image.bin", slice(image, 0, 10 * 2352 - 1000));  // mid-sector
    RunResult r = s.run({"-cue2raw", "image.cue", "out.raw"});
    expect_clean_end(r, 0);
    EXPECT_EQ(r.out, head + cue::table({cue::raw_row(0, 3 * 2352), cue::raw_row(4, 9 * 2352)}) + cue::writing(1) +
                         "\n" + cue::completed);
    EXPECT_TRUE(same_bytes(s.read("out.raw"), slice(image, 4 * 2352, 5 * 2352)));

    s.write_text("image.cue", cue::sheet("image.bin", {0, 4, 20}));
    s.write("image.bin", slice(image, 0, 12 * 2352));  // mid-track
    r = s.run({"-cue2raw", "image.cue", "out.raw"});
    expect_clean_end(r, 0);
    auto rows = cue::table({cue::raw_row(0, 3 * 2352), cue::raw_row(4, 12 * 2352), cue::raw_row(20, 12 * 2352)});
    EXPECT_EQ(r.out, head + rows + cue::writing(1) + cue::writing(2) + "\n" + cue::completed);
    EXPECT_TRUE(same_bytes(s.read("out01.raw"), slice(image, 4 * 2352, 8 * 2352)));
    EXPECT_TRUE(same_bytes(s.read("out02.raw"), {}));
}

// Creating the output would truncate an input before it is read: refused,
// whatever name or link leads to the same file, and the input stays intact.
TEST(Faults, OutputThatIsAnInputIsRefused)
{
    Bytes stream = mpeg_stream(1400);  // over 1 MiB: more than one read buffer
    Scratch s;
    s.write("movie.mpg", stream);
    fs::create_symlink("movie.mpg", s.path("link.mpg"));
    for (std::string output : {"movie.mpg", "link.mpg"}) {
        RunResult r = s.run({"-mpg2mpg", "-fix", "movie.mpg", output});
        expect_clean_end(r);
        EXPECT_TRUE(r.out.ends_with(output + " is an input of this run and is not overwritten.\n" + output +
                                    " could not be written.\n" + expect::corrections(0)))
            << r.out;
        EXPECT_TRUE(same_bytes(s.read("movie.mpg"), stream));
    }
    // A CUE image written over its own BIN.
    Bytes bin = cue_image(4);
    s.write("image.bin", bin);
    s.write_text("image.cue", cue_sheet);
    for (const char* mode : {"-cue2raw", "-cue2mpg", "-cue2dat"}) {
        RunResult r = s.run({mode, "image.cue", "image.bin"});
        expect_clean_end(r);
        EXPECT_NE(r.out.find("image.bin is an input of this run and is not overwritten.\n"
                             "\xfe ERROR: could not write Track 1       \n"),
                  std::string::npos)
            << mode << r.out;
        EXPECT_TRUE(same_bytes(s.read("image.bin"), bin)) << mode;
    }
}

}  // namespace
