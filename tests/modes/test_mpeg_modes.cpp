#include <gtest/gtest.h>

#include "fixtures.h"
#include "harness.h"

namespace {

const std::string searching = "\xfe                 -> searching \r";
const std::string writing = "\xfe                 -> writing...\r";

TEST(Raw2mpg, ExtractsUserDataFromFirstPack)
{
    Scratch s;
    Bytes stream = mpeg_stream(20);
    Bytes track = concat({raw_track(zeros(block_size * 2)), raw_track(stream, 2)});
    s.write("track.raw", track);
    RunResult r = s.run({"-raw2mpg", "track", "out"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, banner + "RAW track image source --> track.raw\nMPEG destination --> out.mpg\n"
                              "Extraction method --> raw2mpg\n\n" +
                         searching + "\xfe 0%\r" + writing + "\xfe 0% [00:00:00] \r" +
                         "\n\xfe completed. out.mpg written.\n");
    // The last sector cannot be read whole from 24 bytes into it.
    EXPECT_TRUE(same_bytes(s.read("out.mpg"), slice(stream, 0, 19 * block_size)));
}

}  // namespace
