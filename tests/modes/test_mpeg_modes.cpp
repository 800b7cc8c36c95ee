// One run of the binary for each single-file mode, and the .dat signature
// checks. What each run prints, its status and the output's size are kept in
// single_file_modes.out; MIVARO_UPDATE_GOLDEN=1 rewrites it.
#include <fstream>
#include <gtest/gtest.h>

#include "harness.h"

TEST(SingleFileModes, OneRunEach)
{
    Bytes stream = concat({padded_block(0), mpeg_block(1), mpeg_block(2)}), piece = slice(mpeg_block(3), 0, 100);
    Bytes image = raw_track(stream), no_output;
    const std::tuple<std::string, Bytes, Bytes> cases[] = {
        {"-raw2mpg", image, stream},
        {"-cif2mpg", cif_track(stream), stream},
        {"-mpg2mpg", concat({stream, piece}), concat({stream, piece})},
        {"-dat2mpg", dat_file(image), stream},
        {"-raw2dat", concat({image, filler(100)}), dat_file(image)},
        {"-mpg2dat", concat({stream, piece}), {}},
        {"-dat2mpg", {'R', 'I', 'F', 'F'}, no_output},
        {"-dat2mpg", {'R', 'I', 'F'}, no_output},
        {"-dat2mpg", concat({{'R', 'I', 'F', 'X'}, image}), no_output},
    };
    std::string transcript;
    for (const auto& [mode, input, want] : cases) {
        Scratch s;
        s.write("in.x", input);
        RunResult r = s.run({mode, "in.x", "out"});
        transcript += "$ mivaro " + mode + " in.x out  # " + std::to_string(input.size()) + " bytes\n" + r.out + "? " +
                      std::to_string(r.status) + "\n";
        for (const std::string& name : s.files()) {
            if (name == "in.x")
                continue;
            transcript += "> " + name + " " + std::to_string(s.size(name)) + "\n";
            if (!want.empty()) {
                EXPECT_TRUE(same_bytes(s.read(name), want)) << mode;
            }
        }
    }
    const std::string golden = MIVARO_TEST_DATA "/../modes/single_file_modes.out";
    if (std::getenv("MIVARO_UPDATE_GOLDEN"))
        std::ofstream(golden, std::ios::binary) << transcript;
    std::ifstream in(golden, std::ios::binary);
    EXPECT_EQ(transcript, std::string(std::istreambuf_iterator<char>(in), {}));
}
