// Output copied from an input file as it stands: by the kernel where it
// can, by read and write elsewhere.
#include "io/output_file.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "io/report.h"

namespace {

// The kernel moves file bytes without them reaching this process in two
// ways. copy_file_range works through a pipe of 64 KiB inside the kernel; when
// the source range starts off a page boundary, as a track in an image almost
// always does, each of those rounds ends inside a page of the output and the
// page is written in two pieces. splice through a pipe of our own holds 1 MiB
// and lets each round end on an output page boundary, which brings such a copy
// back to the speed of an aligned one.
struct SplicePipe {
    int from = -1;
    int to = -1;
    std::size_t size = 0;
};
SplicePipe splice_pipe;

void drop_splice_pipe()
{
    if (splice_pipe.from >= 0) {
        ::close(splice_pipe.from);
        ::close(splice_pipe.to);
    }
    splice_pipe = {};
}

bool have_splice_pipe()
{
    if (splice_pipe.from >= 0)
        return true;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return false;
    ::fcntl(ends[1], F_SETPIPE_SZ, 1 << 20);
    int size = ::fcntl(ends[1], F_GETPIPE_SZ);
    splice_pipe = {ends[0], ends[1], size > 0 ? static_cast<std::size_t>(size) : 0};
    return true;
}

// Copies from `from` on until n is 0 or the kernel refuses or fails. Whatever
// a failed round left in the pipe goes with the pipe, so from and n then say
// exactly what remains for the next way of copying.
void splice_rounds(int in, loff_t& from, int out, std::uint64_t& n)
{
    auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    if (!have_splice_pipe() || splice_pipe.size < 2 * page)
        return;
    off_t at = ::lseek(out, 0, SEEK_CUR);
    auto out_pos = static_cast<std::uint64_t>(std::max<off_t>(at, 0));
    while (n > 0) {
        // One page of the pipe is kept for the part page the round starts in.
        std::uint64_t round = splice_pipe.size - page;
        round -= (out_pos + round) % page;
        round = std::min(round, n);
        ssize_t got = ::splice(in, &from, splice_pipe.to, nullptr, round, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return;
        auto left = static_cast<std::uint64_t>(got);
        while (left > 0) {
            ssize_t put = ::splice(splice_pipe.from, nullptr, out, nullptr, left, 0);
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0) {
                drop_splice_pipe();
                from -= static_cast<loff_t>(left);
                n -= static_cast<std::uint64_t>(got) - left;
                return;
            }
            left -= static_cast<std::uint64_t>(put);
        }
        n -= static_cast<std::uint64_t>(got);
        out_pos += static_cast<std::uint64_t>(got);
    }
}


// Any refusal (another file system, a device or pipe, an old kernel) or
// failure hands the rest on, in the end to read and write, which tell a
// failed read from a failed write.
void kernel_copy(int in, loff_t& from, int out, std::uint64_t& n)
{
    splice_rounds(in, from, out, n);
    while (n > 0) {
        ssize_t done = ::copy_file_range(in, &from, out, nullptr, n, 0);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            break;
        n -= static_cast<std::uint64_t>(done);
    }
}

}  // namespace

void BlockWriter::copy_from(BlockReader& in, std::uint64_t pos, std::uint64_t n)
{
    if (fd_ < 0 || !write_out())
        write_failed();
    auto from = static_cast<loff_t>(pos);
    if (in.fd() >= 0)
        kernel_copy(in.fd(), from, fd_, n);
    written_ += static_cast<std::uint64_t>(from) - pos;
    pos = static_cast<std::uint64_t>(from);
    while (n > 0) {
        auto size = static_cast<std::size_t>(std::min<std::uint64_t>(n, in.capacity()));
        if (!write_all(fd_, in.need(pos, size), size))
            write_failed();
        pos += size;
        n -= size;
        written_ += size;
    }
    start_writeback();
}
