// The reader's window over its input, and a read that fails mid-copy.
#include <gtest/gtest.h>

#include "engine/copy_engine.h"
#include "state/run_state.h"
#include "stream_fixtures.h"

TEST(BlockReader, ViewsAcrossRefillsHoldTheInputsBytes)
{
    std::array<std::uint8_t, 7> buffer{};
    BlockReader reader(buffer);
    Bytes data = filler(40);
    reader.open_memory(data, "m");
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t i = 0; i < 42 * 9; ++i) {
            std::size_t pos = pass ? 41 - i / 9 : i / 9, n = i % 9;
            auto got = reader.view(pos, n);
            EXPECT_EQ(Bytes(got.begin(), got.end()), slice(data, pos, std::min<std::size_t>(n, 7))) << pos << " " << n;
        }
    }
}

TEST(BlockReader, AnInputThatEndsEarlyIsAReadError)
{
    Bytes in = concat({padded_block(0), padded_block(1), filler(100)});
    InProcess r = in_process(in, [&] {
        io.sector_size = io.read_chunk = io.write_chunk = block_size;
        copy_stream(4 * block_size);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "\xfe 0% [00:00:00] \rin could not be read.\n");
    EXPECT_TRUE(r.written.empty());  // a failed output never appears
}
