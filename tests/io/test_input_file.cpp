// Reading through mapped windows: the same bytes as reading the file, and a
// file cut shorter while mapped is a failed read, never zeros taken for data.
#include <filesystem>
#include <gtest/gtest.h>

#include "harness.h"
#include "io/file_identity.h"
#include "io/input_file.h"
#include "io/report.h"

TEST(BlockReader, MappedViewsAreTheFilesBytesUntilItShrinks)
{
    Scratch s;
    Bytes data((5 << 20) + 123);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 24);
    s.write("in", data);
    std::vector<std::uint8_t> buffer(256 << 10);
    BlockReader in(buffer);
    in.map_files(true);
    ASSERT_TRUE(in.open(s.path("in")));
    // Views that straddle the windows' ends, and the file's end.
    for (std::uint64_t at : {0ul, 3ul, (2ul << 20) - 7, (4ul << 20) + 4095, data.size() - 100, data.size()}) {
        std::span<const std::uint8_t> got = in.view(at, 200000);
        ASSERT_EQ(got.size(), std::min<std::uint64_t>(200000, data.size() - at)) << at;
        EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin() + static_cast<std::ptrdiff_t>(at))) << at;
    }
    testing::internal::CaptureStdout();
    std::span<const std::uint8_t> first = in.view(1 << 20, 4096);
    std::filesystem::resize_file(s.path("in"), 4096);
    // The mapped pages past the new end are gone: what is looked at reads as
    // zeros, and the reader remembers that it was not the file's.
    EXPECT_EQ(first[100], 0);
    EXPECT_THROW(in.close_checked(), RunEnd);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), s.path("in").string() + " could not be read.\n");
    in.reset();
    forget_run_inputs();
}
