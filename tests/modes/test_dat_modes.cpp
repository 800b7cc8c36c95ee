// raw2dat and mpg2dat end to end; the unchanged copy with and without the
// kernel's help.
#include <gtest/gtest.h>

#include "engine/copy_engine.h"
#include "state/run_state.h"
#include "stream_fixtures.h"

namespace {

Bytes image()
{
    return raw_track(concat({padded_block(0), mpeg_block(1), mpeg_block(2)}));
}

RunResult run(Scratch& s, const std::string& mode, const Bytes& input, const std::string& copy)
{
    s.write("in.x", input);
    RunResult r = s.run({mode, "in.x", "out.dat"});
    EXPECT_EQ(r.out, banner + expect::header(mode, "in.x", "out.dat") + expect::searching + expect::scan0 +
                         expect::writing + copy + expect::completed("out.dat"));
    return r;
}

}  // namespace

TEST(DatModes, Raw2datWrapsEveryWholeSector)
{
    Scratch s;
    EXPECT_EQ(run(s, "-raw2dat", concat({image(), filler(100)}), "").status, 0);
    EXPECT_TRUE(same_bytes(s.read("out.dat"), dat_file(image())));
}

TEST(DatModes, Mpg2datPadsTheLastPiece)
{
    Scratch s;
    Bytes piece = slice(mpeg_block(3), 0, 100);
    EXPECT_EQ(run(s, "-mpg2dat", concat({padded_block(0), mpeg_block(1), mpeg_block(2), piece}), expect::copy0).status, 0);
    Bytes dat = s.read("out.dat");
    EXPECT_EQ(dat.size(), 44 + 34 * sector_bytes);
    EXPECT_TRUE(same_bytes(slice(dat, 44 + 33 * sector_bytes + 24, block_size), concat({piece, zeros(2224)})));
}

// Bytes in memory cannot be copied by the kernel: read and write take over.
TEST(DatModes, UnchangedCopyFromMemoryAndFromAFile)
{
    Bytes in = concat({image(), image(), image(), image(), filler(3000), image()});
    Scratch s;
    s.write("in.raw", in);
    for (bool from_file : {false, true}) {
        InProcess r = in_process(in, [&] {
            if (from_file)
                io.input_file.open(s.path("in.raw").string());
            io.sector_size = sector_bytes;
            io.read_chunk = io.write_chunk = multi_sector_chunk(sector_bytes);
            io.exact_copy = true;
            settings.input_pos = 100;
            io.output_file.write(dat_header_bytes.data(), 44);
            copy_stream(in.size());
        });
        EXPECT_TRUE(same_bytes(r.written, dat_file(slice(in, 100, (in.size() - 100) / 2352 * 2352))));
        EXPECT_EQ(r.out, expect::copy0);
    }
}
