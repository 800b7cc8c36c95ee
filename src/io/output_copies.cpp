// Output copied from an input file as it stands: by the kernel where it
// can, by read and write elsewhere, here or on a thread of the writer's own.
#include "io/output_file.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

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

bool write_all(int fd, const std::uint8_t* bytes, std::size_t n)
{
    for (std::size_t done = 0; done < n;) {
        ssize_t w = ::write(fd, bytes + done, n - done);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        done += static_cast<std::size_t>(w);
    }
    return true;
}

}  // namespace

void BlockWriter::copy_from(BlockReader& in, std::uint64_t pos, std::uint64_t n)
{
    finish_copy();
    if (fd_ < 0 || !flush_buffer())
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

void BlockWriter::start_copy(BlockReader& in, std::uint64_t pos, std::uint64_t n)
{
    // The thread reads by position: only a regular file is handed to it.
    struct stat st {};
    bool regular = in.fd() >= 0 && ::fstat(in.fd(), &st) == 0 && S_ISREG(st.st_mode);
    int source = regular ? ::fcntl(in.fd(), F_DUPFD_CLOEXEC, 0) : -1;
    if (source < 0) {
        copy_from(in, pos, n);
        return;
    }
    finish_copy();
    if (fd_ < 0 || !flush_buffer()) {
        ::close(source);
        write_failed();
    }
    copy_source_ = in.name();
    auto copy = [source, out = fd_, pos, n]() mutable {
        CopyDone done;
        auto from = static_cast<loff_t>(pos);
        kernel_copy(source, from, out, n);
        std::vector<std::uint8_t> buffer(n > 0 ? std::size_t{1} << 20 : 0);
        while (n > 0 && !done.read_failed && !done.write_failed) {
            auto size = static_cast<std::size_t>(std::min<std::uint64_t>(n, buffer.size()));
            ssize_t got = ::pread(source, buffer.data(), size, from);
            if (got < 0 && errno == EINTR)
                continue;
            done.read_failed = got <= 0;
            done.write_failed = got > 0 && !write_all(out, buffer.data(), static_cast<std::size_t>(got));
            if (got > 0) {
                from += got;
                n -= static_cast<std::uint64_t>(got);
            }
        }
        ::close(source);
        done.moved = static_cast<std::uint64_t>(from) - pos;
        return done;
    };
    try {
        copying_ = std::async(std::launch::async, copy);
    } catch (const std::system_error&) {
        // No thread to spare: the copy is made here and now.
        std::promise<CopyDone> now;
        now.set_value(copy());
        copying_ = now.get_future();
    }
}

void BlockWriter::finish_copy()
{
    if (!copying_.valid())
        return;
    CopyDone done = copying_.get();
    written_ += done.moved;
    if (done.write_failed)
        write_failed();
    if (done.read_failed) {
        abandon();
        say_unreadable(copy_source_);
        end_run(1);
    }
    start_writeback();
}
