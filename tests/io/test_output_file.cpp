// The writer's kernel copies, made to give up part way: the output holds the
// same bytes whichever way they travelled.
#include <algorithm>
#include <cerrno>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "harness.h"
#include "io/file_identity.h"
#include "io/input_file.h"
#include "io/output_file.h"
#include "io/report.h"

namespace {

// Calls left before the kernel's copies are refused, as on a file system or
// device without them; -1: never.
int splices_left = -1, ranges_left = -1;
int ranges_made = 0, splices_made = 0;
// The ranges handed to writeback, in order.
std::vector<std::pair<off_t, off_t>> writeback_ranges;

bool refused(int& left)
{
    if (left == 0) {
        errno = EINVAL;
        return true;
    }
    if (left > 0)
        --left;
    return false;
}

}  // namespace

extern "C" ssize_t splice(int in, loff_t* in_at, int out, loff_t* out_at, size_t n, unsigned flags)
{
    // Short counts, shorter on the way out, so that rounds end part way
    // through and a refusal can come after part of a round went out.
    n = std::min<size_t>(n, in_at ? 600000 : 250000);
    ++splices_made;
    return refused(splices_left) ? -1 : syscall(SYS_splice, in, in_at, out, out_at, n, flags);
}

extern "C" int sync_file_range(int fd, off_t at, off_t n, unsigned flags)
{
    writeback_ranges.emplace_back(at, n);
    return static_cast<int>(syscall(SYS_sync_file_range, fd, at, n, flags));
}

extern "C" ssize_t copy_file_range(int in, loff_t* in_at, int out, loff_t* out_at, size_t n, unsigned flags)
{
    ++ranges_made;
    return refused(ranges_left) ? -1 : syscall(SYS_copy_file_range, in, in_at, out, out_at, n, flags);
}

// A round is one splice from the input and three to the output, so most
// counts refuse an output splice with part of a round still in the pipe. A
// copy lands in its place among writes made by the writer's own thread.
TEST(BlockWriter, KernelCopiesThatGiveUpLeaveTheSameBytes)
{
    Scratch s;
    Bytes data(3 << 20);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 24);
    s.write("in", data);
    const std::size_t from = 1000, n = (2 << 20) + 1;
    std::vector<std::uint8_t> read_buffer(64 << 10), write_buffer(64 << 10);
    for (auto [splices, ranges] : {std::pair{0, 0}, {0, -1}, {1, 0}, {3, 1}, {4, 0}, {6, -1}, {-1, -1}})
        for (bool behind : {false, true}) {
            splices_left = splices;
            ranges_left = ranges;
            ranges_made = splices_made = 0;
            forget_run_inputs();  // earlier tests' inputs, whose inodes new files may take
            BlockReader in(read_buffer);
            BlockWriter out(write_buffer);
            ASSERT_TRUE(in.open(s.path("in")) && out.open(s.path("out")));
            if (behind)
                out.write_behind(16 << 10, 3);
            const std::size_t before = behind ? 40000 : 44;
            out.write(data.data(), before);
            out.copy_from(in, from, n);
            out.write(data.data(), 4);
            out.close();
            EXPECT_TRUE(same_bytes(s.read("out"), concat({slice(data, 0, before), slice(data, from, n), slice(data, 0, 4)})))
                << splices << " splices, " << ranges << " copy_file_range calls";
            EXPECT_TRUE(splices >= 0 || ranges_made == 0) << "splice left part of the copy to copy_file_range";
            EXPECT_TRUE(splices >= 0 || splices_made < 30) << "the pipe holds 1 MiB: a few rounds copy 2 MiB";
        }
    splices_left = ranges_left = -1;
    // An input opened as descriptor 0 (a run started with stdin closed) is
    // copied by the kernel too.
    int stdin_copy = ::dup(0);
    ::close(0);
    splices_made = 0;
    {
        BlockReader in(read_buffer);
        BlockWriter out(write_buffer);
        EXPECT_TRUE(in.open(s.path("in")) && in.fd() == 0 && out.open(s.path("out")));
        out.copy_from(in, 0, 100);
        out.close();
    }
    ::dup2(stdin_copy, 0);
    ::close(stdin_copy);
    EXPECT_GT(splices_made, 0);
    // An input that ends before the run does (cut short by another program)
    // is a failed read, whichever way the bytes were going.
    BlockReader in(read_buffer);
    BlockWriter out(write_buffer);
    ASSERT_TRUE(in.open(s.path("in")) && out.open(s.path("short")));
    testing::internal::CaptureStdout();
    EXPECT_THROW(out.copy_from(in, data.size() - 10, 20), RunEnd);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), s.path("in").string() + " could not be read.\n");
    EXPECT_FALSE(std::filesystem::exists(s.path("short")));
    forget_run_inputs();
}

// Written behind in parts of 16 KiB taken in turn: pieces of every size,
// some filled in place, come out in order, and the writer writes from its
// own buffer again once closed. A write that fails on the writer's thread
// ends the run at a later step.
TEST(BlockWriter, WritesBehindInOrderAndFailsAsAnyWrite)
{
    Scratch s;
    Bytes data(1 << 20);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 24);
    std::vector<std::uint8_t> own(64 << 10);
    BlockWriter out(own);
    {
        ASSERT_TRUE(out.open(s.path("out")));
        out.write_behind(16 << 10, 3);
        std::size_t at = 0;
        for (std::size_t piece = 1; at < data.size(); piece = piece * 7 % 40009 + 1) {
            std::size_t n = std::min(piece, data.size() - at);
            if (piece % 2 == 0 && n <= (16 << 10)) {
                std::span<std::uint8_t> room = out.reserve(n);
                std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(at), n, room.begin());
                out.commit(n);
            } else {
                out.write(data.data() + at, n);
            }
            at += n;
        }
        out.close();
    }
    EXPECT_TRUE(same_bytes(s.read("out"), data));
    ASSERT_TRUE(out.open(s.path("again")));
    out.write(data.data(), 100000);
    out.close();
    EXPECT_TRUE(same_bytes(s.read("again"), slice(data, 0, 100000)));
    ASSERT_TRUE(out.open("/dev/full"));
    out.write_behind(16 << 10, 3);
    testing::internal::CaptureStdout();
    EXPECT_THROW(out.write(data), RunEnd);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "/dev/full could not be written.\n");
}

// An output that replaces a file hands what it wrote to writeback as it goes,
// in ranges that follow each other from the start, by either way of writing,
// and keeps the file's mode; a new output leaves it all to the kernel and
// gets the mode the umask gives, which stays as it was.
TEST(BlockWriter, ReplacingOutputStartsWritebackAsItGoes)
{
    forget_run_inputs();
    Scratch s;
    Bytes data(9 << 20, 7);
    s.write("in", data);
    std::vector<std::uint8_t> read_buffer(64 << 10), write_buffer(64 << 10);
    const mode_t umask_before = ::umask(027);
    for (bool replacing : {false, true}) {
        if (replacing)
            std::filesystem::permissions(s.path("out"), std::filesystem::perms(0604));
        writeback_ranges.clear();
        BlockReader in(read_buffer);
        BlockWriter out(write_buffer);
        ASSERT_TRUE(in.open(s.path("in")) && out.open(s.path("out")));
        out.write(data.data(), 44);
        out.copy_from(in, 0, data.size());
        out.write(data);
        out.close();
        EXPECT_EQ(s.size("out"), 2 * data.size() + 44);
        EXPECT_EQ(static_cast<int>(std::filesystem::status(s.path("out")).permissions()), replacing ? 0604 : 0640);
        if (!replacing) {
            EXPECT_TRUE(writeback_ranges.empty());
            continue;
        }
        ASSERT_EQ(writeback_ranges.size(), 2u);
        EXPECT_EQ(writeback_ranges[0], std::make_pair(off_t{0}, static_cast<off_t>(data.size() + 44)));
        EXPECT_EQ(writeback_ranges[1].first, static_cast<off_t>(data.size() + 44));
        EXPECT_GE(writeback_ranges[1].second, off_t{8 << 20});
    }
    EXPECT_EQ(::umask(umask_before), 027u);
    forget_run_inputs();
}
