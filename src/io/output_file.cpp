#include "io/output_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "io/file_identity.h"
#include "io/report.h"

namespace {

constexpr const char* write_error_text = "%s could not be written.\n";
constexpr const char* same_file_text = "%s is an input of this run and is not overwritten.\n";

constexpr std::array stop_signals = {SIGINT, SIGTERM, SIGHUP};
constexpr std::uint64_t writeback_step = 8 << 20;

// The temporary file being written, where the signal handler can reach it
// without allocating.
std::array<char, 4096> unfinished_path{};
volatile std::sig_atomic_t unfinished = 0;

void on_stop_signal(int sig)
{
    if (unfinished)
        ::unlink(unfinished_path.data());
    ::signal(sig, SIG_DFL);
    // Blocked until this handler returns; then it ends the process with the
    // status the signal gives.
    ::raise(sig);
}

// Holds the stop signals back while a temporary file is created or renamed,
// so that the handler never sees it half registered.
struct StopSignalsHeld {
    sigset_t old;
    StopSignalsHeld()
    {
        sigset_t held;
        sigemptyset(&held);
        for (int sig : stop_signals)
            sigaddset(&held, sig);
        sigprocmask(SIG_BLOCK, &held, &old);
    }
    ~StopSignalsHeld() { sigprocmask(SIG_SETMASK, &old, nullptr); }
};

// A hidden name beside the output; the base name is shortened so that the
// temporary name stays within the system's limit where the real one does.
// Empty for a name the system would refuse anyway.
std::string temporary_pattern(const std::string& target)
{
    std::size_t slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    if (base.size() > NAME_MAX)
        return {};
    return folder + "." + base.substr(0, 64) + ".XXXXXX";
}

mode_t new_file_mode()
{
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

bool BlockWriter::open(const std::string& path, bool replace_input)
{
    abandon();
    name_ = path;
    used_ = 0;
    struct stat st {};
    bool exists = ::stat(path.c_str(), &st) == 0;
    bool an_input = exists && is_run_input(st);
    if (an_input && !(replace_input && S_ISREG(st.st_mode))) {
        say(same_file_text, path.c_str());
        return false;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        fd_ = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        return fd_ >= 0;
    }
    // Through a link, the file it leads to is the one replaced.
    target_ = path;
    if (char* real = exists ? ::realpath(path.c_str(), nullptr) : nullptr) {
        target_ = real;
        std::free(real);
    }
    // A file that could not be opened for writing is not replaced either.
    if (exists && ::access(target_.c_str(), W_OK) != 0)
        return false;
    std::string pattern = temporary_pattern(target_);
    if (pattern.empty())
        return false;
    if (pattern.size() < unfinished_path.size()) {
        StopSignalsHeld held;
        std::copy(pattern.begin(), pattern.end(), unfinished_path.begin());
        unfinished_path[pattern.size()] = '\0';
        fd_ = ::mkostemp(unfinished_path.data(), O_CLOEXEC);
        if (fd_ >= 0) {
            temp_name_ = unfinished_path.data();
            unfinished = 1;
        }
    }
    if (fd_ >= 0) {
        ::fchmod(fd_, exists ? (st.st_mode & 07777) : new_file_mode());
        replacing_ = exists;
        written_ = handed_ = 0;
        return true;
    }
    // No temporary file in that folder (one that may not be written to, for
    // instance): the output is written in place, unless it is still read.
    if (an_input)
        return false;
    fd_ = ::open(target_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return fd_ >= 0;
}

bool BlockWriter::flush_buffer()
{
    std::size_t done = 0;
    while (done < used_) {
        ssize_t n = ::write(fd_, buf_.data() + done, used_ - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    written_ += used_;
    used_ = 0;
    start_writeback();
    return true;
}

// On ext4, renaming a file over another makes the kernel write the new
// file's data out before the rename returns, so that a crash cannot leave the
// name on an empty file. A replacing output hands each few MiB to writeback as
// soon as they are written, and that flush finds little left: without it,
// replacing took 1.4 times as long as rewriting the old file in place.
void BlockWriter::start_writeback()
{
    if (!replacing_ || written_ - handed_ < writeback_step)
        return;
    ::sync_file_range(fd_, static_cast<off_t>(handed_), static_cast<off_t>(written_ - handed_), SYNC_FILE_RANGE_WRITE);
    handed_ = written_;
}

void say_unwritable(const std::string& name)
{
    say(write_error_text, name.c_str());
}

void BlockWriter::write_failed()
{
    abandon();
    say_unwritable(name_);
    end_run(1);
}

void BlockWriter::write(const std::uint8_t* src, std::size_t n)
{
    finish_copy();
    if (fd_ < 0)
        write_failed();
    while (n > 0) {
        std::size_t take = std::min(n, buf_.size() - used_);
        std::memcpy(buf_.data() + used_, src, take);
        used_ += take;
        src += take;
        n -= take;
        if (used_ == buf_.size() && !flush_buffer())
            write_failed();
    }
}

void BlockWriter::close()
{
    finish_copy();
    if (fd_ < 0)
        return;
    bool ok = flush_buffer();
    int fd = fd_;
    fd_ = -1;
    // Not synced to the disk: that would cost more than the whole copy.
    if (::close(fd) != 0)
        ok = false;
    if (ok && !temp_name_.empty()) {
        StopSignalsHeld held;
        ok = ::rename(temp_name_.c_str(), target_.c_str()) == 0;
        if (ok) {
            unfinished = 0;
            temp_name_.clear();
        }
    }
    if (!ok)
        write_failed();
}

void BlockWriter::abandon()
{
    // Whatever became of it, the copy must be done with the file first.
    if (copying_.valid())
        copying_.wait();
    copying_ = {};
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    used_ = 0;
    if (!temp_name_.empty()) {
        StopSignalsHeld held;
        ::unlink(temp_name_.c_str());
        unfinished = 0;
        temp_name_.clear();
    }
}

namespace {

volatile std::sig_atomic_t deferred_signal = 0;

void note_stop_signal(int sig)
{
    deferred_signal = sig;
}

void handle_stop_signals(void (*handler)(int))
{
    for (int sig : stop_signals) {
        struct sigaction old {};
        // A run started with a signal ignored (nohup, a background job)
        // keeps ignoring it.
        if (::sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN)
            continue;
        struct sigaction act {};
        act.sa_handler = handler;
        sigemptyset(&act.sa_mask);
        ::sigaction(sig, &act, nullptr);
    }
}

}  // namespace

void remove_unfinished_output_on_signals()
{
    handle_stop_signals(on_stop_signal);
}

void defer_stop_signals()
{
    handle_stop_signals(note_stop_signal);
}

int stop_signal_seen()
{
    return deferred_signal;
}

void stop_by_signal(int sig)
{
    ::signal(sig, SIG_DFL);
    ::raise(sig);
    std::_Exit(128 + sig);
}

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
