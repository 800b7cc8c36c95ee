// What a run leaves behind when it is stopped or its surroundings fail it:
// never a partial output, and an earlier file of that name as it was. The
// message-level cases live in faults.txt (run by tests/cli).
#include <gtest/gtest.h>

#include <csignal>

#include "harness.h"

namespace {

const Bytes earlier = {'o', 'l', 'd', '\n'};

TEST(Faults, StopSignalsRemoveTheUnfinishedOutput)
{
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        Scratch s;  // a 300 MB raw image: one pack header, then a hole
        s.write("big.raw", {0, 0, 1, 0xBA, 0x21});
        std::filesystem::resize_file(s.path("big.raw"), 300u << 20);
        s.write("out.mpg", earlier);
        RunResult r = s.run({"-raw2mpg", "big.raw", "out.mpg"}, 60, {sig, "% ["});
        EXPECT_EQ(r.signal, sig);
        EXPECT_EQ(s.files(), (std::vector<std::string>{"big.raw", "out.mpg"}));
        EXPECT_TRUE(same_bytes(s.read("out.mpg"), earlier));
    }
}

// Need root: a small tmpfs (in a mount namespace of its own) filled up, and
// one loop device as input and, through a node of its own, as output. Each
// script exits 77 where that cannot be set up.
TEST(Faults, FullFilesystemAndSameDevice)
{
    const char* scripts[] = {
        "mkdir d && mount -t tmpfs -o size=128k tmpfs d || exit 77; cp out.mpg d; \"$0\" -mpg2mpg in.mpg d/out.mpg; "
        "echo $?; cmp -s out.mpg d/out.mpg && [ \"$(ls -A d)\" = out.mpg ] && echo intact",
        "l=$(losetup -f --show in.raw 2>/dev/null) || exit 77; trap 'losetup -d $l' EXIT; n=$(stat -c '%t %T' $l); "
        "mknod dev.mpg b $((16#${n% *})) $((16#${n#* })) && ln -s $l dev.raw || exit 2; \"$0\" -raw2mpg dev.raw "
        "dev.mpg; echo $?; cmp -s in.raw keep.raw && echo intact",
    };
    for (const char* script : scripts) {
        Scratch s;
        s.write("in.mpg", mpeg_stream(200));
        s.write("in.raw", raw_track(mpeg_stream(50)));
        s.write("keep.raw", raw_track(mpeg_stream(50)));
        s.write("out.mpg", earlier);
        RunResult r = run_program_in(s.dir(), {"unshare", "-m", "bash", "-c", script, mivaro_path()}, 60);
        if (r.status == 77)
            GTEST_SKIP() << "needs root: " << script;
        EXPECT_TRUE(r.out.ends_with(" could not be written.\n1\nintact\n")) << r.out;
    }
}

}  // namespace
