// What a run leaves behind when it is stopped or its surroundings fail it:
// never a partial output, and an earlier file of that name as it was. The
// message-level cases live in faults.txt (run by tests/cli).
#include <gtest/gtest.h>

#include <csignal>

#include "harness.h"

namespace {

const Bytes earlier = {'o', 'l', 'd', '\n'};

// A 300 MB raw image with one pack header at its start, the rest a hole.
void big_raw(const Scratch& s)
{
    Bytes sector(sector_bytes);
    put_bytes(sector, 24, {0x00, 0x00, 0x01, 0xBA, 0x21});
    s.write("big.raw", sector);
    std::filesystem::resize_file(s.path("big.raw"), 300u << 20);
}

TEST(Faults, StopSignalsRemoveTheUnfinishedOutput)
{
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        Scratch s;
        big_raw(s);
        s.write("out.mpg", earlier);
        RunResult r = s.run({"-raw2mpg", "big.raw", "out.mpg"}, 60, {sig, "% ["});
        EXPECT_EQ(r.signal, sig);
        EXPECT_EQ(s.files(), (std::vector<std::string>{"big.raw", "out.mpg"}));
        EXPECT_TRUE(same_bytes(s.read("out.mpg"), earlier));
    }
}

// Root may mount a small tmpfs in a mount namespace of its own; elsewhere
// this is skipped.
TEST(Faults, FullFilesystemKeepsTheEarlierFile)
{
    Scratch s;
    s.write("in.mpg", mpeg_stream(200));
    s.write("out.mpg", earlier);
    std::string script = "mkdir d && mount -t tmpfs -o size=128k tmpfs d || exit 77; cp out.mpg d; \"$0\" "
                         "-mpg2mpg in.mpg d/out.mpg >/dev/null; echo $?; cmp out.mpg d/out.mpg && ls -A d";
    RunResult r = run_program_in(s.dir(), {"unshare", "-m", "sh", "-c", script, mivaro_path()}, 60);
    if (r.status != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here";
    EXPECT_EQ(r.out, "1\nout.mpg\n");
}

// The same loop device as input and, through a node of its own, as output.
TEST(Faults, SameBlockDeviceIsRefused)
{
    Scratch s;
    Bytes image = raw_track(mpeg_stream(50));
    s.write("image", image);
    std::string script = "l=$(losetup -f --show image 2>/dev/null) || exit 77; n=$(stat -c '%t %T' $l); "
                         "mknod out.mpg b $((16#${n% *})) $((16#${n#* })) && ln -s $l in.raw && "
                         "\"$0\" -raw2mpg in.raw out.mpg; s=$?; losetup -d $l; exit $s";
    RunResult r = run_program_in(s.dir(), {"bash", "-c", script, mivaro_path()}, 60);
    if (r.status == 77)
        GTEST_SKIP() << "no loop device can be set up here";
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("out.mpg is an input of this run and is not overwritten.\n"), std::string::npos);
    EXPECT_TRUE(same_bytes(s.read("image"), image));
}

}  // namespace
