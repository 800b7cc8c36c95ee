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
#include <unistd.h>

#include "io/file_identity.h"
#include "io/report.h"

namespace {

constexpr const char* write_error_text = "%s could not be written.\n";
constexpr const char* same_file_text = "%s is an input of this run and is not overwritten.\n";

constexpr std::array stop_signals = {SIGINT, SIGTERM, SIGHUP};
constexpr std::uint64_t writeback_step = 8 << 20;

// The temporary files being written, where the signal handler can reach
// them without allocating: a slot for each output open at the same time.
constexpr int unfinished_slots = 4;
std::array<std::array<char, 4096>, unfinished_slots> unfinished_path{};
volatile std::sig_atomic_t unfinished[unfinished_slots] = {};

void on_stop_signal(int sig)
{
    for (int i = 0; i < unfinished_slots; ++i)
        if (unfinished[i])
            ::unlink(unfinished_path[i].data());
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
    StopSignalsHeld held;
    int slot = 0;
    while (slot < unfinished_slots && unfinished[slot])
        ++slot;
    if (slot < unfinished_slots && pattern.size() < unfinished_path[slot].size()) {
        char* name = unfinished_path[slot].data();
        std::copy(pattern.begin(), pattern.end(), name);
        name[pattern.size()] = '\0';
        fd_ = ::mkostemp(name, O_CLOEXEC);
        if (fd_ >= 0) {
            temp_name_ = name;
            slot_ = slot;
            unfinished[slot] = 1;
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
    if (behind_ && used_ > 0)
        return hand_behind();
    if (!write_all(fd_, buf_.data(), used_))
        return false;
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

std::span<std::uint8_t> BlockWriter::reserve(std::size_t n)
{
    if (fd_ < 0 || n > buf_.size() || (buf_.size() - used_ < n && !flush_buffer()))
        write_failed();
    return buf_.subspan(used_, n);
}

void BlockWriter::commit(std::size_t n)
{
    used_ += n;
    if (used_ == buf_.size() && !flush_buffer())
        write_failed();
}

bool BlockWriter::close_file()
{
    if (fd_ < 0)
        return true;
    bool ok = write_out();
    stop_behind();
    int fd = fd_;
    fd_ = -1;
    // Not synced to the disk: that would cost more than the whole copy.
    return ::close(fd) == 0 && ok;
}

bool BlockWriter::take_name()
{
    if (temp_name_.empty())
        return true;
    StopSignalsHeld held;
    if (::rename(temp_name_.c_str(), target_.c_str()) != 0)
        return false;
    forget_temp_name();
    return true;
}

void BlockWriter::forget_temp_name()
{
    unfinished[slot_] = 0;
    temp_name_.clear();
}

void BlockWriter::close()
{
    if (!close_file() || !take_name())
        write_failed();
}

void BlockWriter::close_together(std::span<BlockWriter* const> outputs)
{
    auto fail = [outputs](BlockWriter* failed) {
        for (BlockWriter* out : outputs)
            if (out != failed)
                out->abandon();
        failed->write_failed();
    };
    for (BlockWriter* out : outputs)
        if (!out->close_file())
            fail(out);
    // Held until the last has its name, so that a stop signal cannot come
    // between the renames.
    StopSignalsHeld held;
    for (BlockWriter* out : outputs)
        if (!out->take_name())
            fail(out);
}

void BlockWriter::abandon()
{
    // The writes under way must be done with the file first.
    stop_behind();
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    used_ = 0;
    if (!temp_name_.empty()) {
        StopSignalsHeld held;
        ::unlink(temp_name_.c_str());
        forget_temp_name();
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
