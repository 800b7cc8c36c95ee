// Reading through mapped windows: the same bytes as reading the file, and a
// file cut shorter while mapped is a failed read, never zeros taken for data.
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/mman.h>

#include "fixtures.h"
#include "harness.h"
#include "io/file_identity.h"
#include "io/input_file.h"
#include "io/report.h"

TEST(BlockReader, WindowsGoWhereLargePagesFitInsideTheirReservation)
{
    for (std::uintptr_t reserved : {0x7f0000000000ul, 0x7f0000001000ul, 0x7f00001ff000ul})
        for (std::uint64_t start : {0ul, 4096ul, huge_page_size - 4096, 5 * huge_page_size + 8192}) {
            std::uintptr_t at = window_address(reserved, start);
            EXPECT_TRUE(at >= reserved && at < reserved + huge_page_size && at % huge_page_size == start % huge_page_size);
        }
}

// Opening again reads the new input, never bytes kept from the one before;
// the end of a file ends a read whatever errno an earlier call left.
TEST(BlockReader, EachOpenReadsItsOwnInput)
{
    Scratch s;
    s.write("a", filler(100, 1));
    s.write("b", filler(100, 2));
    Bytes memory = filler(100, 3);
    std::array<std::uint8_t, 64> buffer{};
    BlockReader in(buffer);
    in.open_memory(memory, "m");
    in.view(0, 64);
    for (const char* name : {"a", "b"}) {
        ASSERT_TRUE(in.open(s.path(name)));
        std::span<const std::uint8_t> got = in.view(0, 64);
        EXPECT_EQ(Bytes(got.begin(), got.end()), slice(s.read(name), 0, 64)) << name;
    }
    errno = EINTR;
    EXPECT_EQ(in.view(90, 64).size(), 10u);
    forget_run_inputs();
}

TEST(BlockReader, MappedViewsAreTheFilesBytesUntilItShrinks)
{
    Scratch s;
    Bytes data = filler((5 << 20) + 123);  // no byte zero
    s.write("in", data);
    std::vector<std::uint8_t> buffer(256 << 10);
    BlockReader in(buffer);
    in.map_files(true);
    ASSERT_TRUE(in.open(s.path("in")));
    // Views that straddle the windows' ends, and the file's end.
    for (std::uint64_t at : {0ul, 3ul, (2ul << 20) - 7, (4ul << 20) + 4095, data.size() - 100, data.size()}) {
        std::span<const std::uint8_t> got = in.view(at, 200000);
        EXPECT_TRUE(Bytes(got.begin(), got.end()) == slice(data, at, 200000)) << at;
    }
    // Cut shorter while mapped: zeros past the new end, and the run ends at
    // the close, the next window or the next file, whichever comes first.
    // Another reader's window meanwhile is guarded on its own and keeps its bytes.
    s.write("other", data);
    BlockReader other(io_block_size);
    other.map_files(true);
    ASSERT_TRUE(other.open(s.path("other")));
    for (int way = 0; way < 3; ++way) {
        s.write("in", data);
        ASSERT_TRUE(in.open(s.path("in")));
        testing::internal::CaptureStdout();
        std::span<const std::uint8_t> first = in.view(1 << 20, 4096);
        std::span<const std::uint8_t> kept = other.view(1 << 20, 4096);
        std::filesystem::resize_file(s.path("in"), 4096);
        EXPECT_EQ(first[100], 0);
        EXPECT_EQ(kept[100], data[(1 << 20) + 100]);
        if (way == 0) {
            EXPECT_THROW(in.close_checked(), RunEnd);
        } else if (way == 1) {
            EXPECT_THROW(in.view(3 << 20, 10), RunEnd);
            EXPECT_THROW(in.open(s.path("in")), RunEnd);
        } else {
            EXPECT_THROW(in.open(s.path("other")), RunEnd);  // the next file does not hide the loss
        }
        const std::string line = s.path("in").string() + " could not be read.\n";
        EXPECT_EQ(testing::internal::GetCapturedStdout(), way == 1 ? line + line : line);
        in.reset();  // a new run with the same reader starts afresh
    }
    ASSERT_TRUE(in.open(s.path("in")));
    EXPECT_EQ(in.view(0, 8192).size(), 4096u);  // its window stays mapped for the fault below
    // A SIGBUS that is not the window's is not hidden.
    EXPECT_DEATH(
        {
            s.write("other", data);
            auto* other = static_cast<volatile std::uint8_t*>(
                ::mmap(nullptr, 8192, PROT_READ, MAP_SHARED, ::open(s.path("other").c_str(), O_RDONLY), 0));
            std::filesystem::resize_file(s.path("other"), 0);
            std::printf("%d\n", other[5000]);
        },
        "");
    forget_run_inputs();
}
