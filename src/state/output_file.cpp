#include "state/output_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "state/run_state.h"

namespace {

constexpr const char* write_error_text = "%s could not be written.\n";
constexpr const char* same_file_text = "%s is an input of this run and is not overwritten.\n";

}  // namespace

bool BlockWriter::open(const std::string& path)
{
    abandon();
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        (io.input_file.is_file(st.st_dev, st.st_ino) || io.cue_file.is_file(st.st_dev, st.st_ino))) {
        say(same_file_text, path.c_str());
        return false;
    }
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    fd_ = fd;
    name_ = path;
    used_ = 0;
    return true;
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
    used_ = 0;
    return true;
}

void BlockWriter::write_failed()
{
    abandon();
    say(write_error_text, name_.c_str());
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

void BlockWriter::close()
{
    if (fd_ < 0)
        return;
    bool ok = flush_buffer();
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        ok = false;
    if (!ok) {
        say(write_error_text, name_.c_str());
        end_run(1);
    }
}

void BlockWriter::close_quietly()
{
    if (fd_ < 0)
        return;
    flush_buffer();
    abandon();
}

void BlockWriter::abandon()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    used_ = 0;
}

void BlockWriter::copy_from(BlockReader& in, std::uint64_t pos, std::uint64_t n)
{
    if (fd_ < 0 || !flush_buffer())
        write_failed();
    // Any refusal (another file system, a device or pipe, an old kernel) or
    // failure hands the rest to read and write, which tell a failed read
    // from a failed write.
    auto from = static_cast<loff_t>(pos);
    while (n > 0 && in.fd() >= 0) {
        ssize_t done = ::copy_file_range(in.fd(), &from, fd_, nullptr, n, 0);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            break;
        n -= static_cast<std::uint64_t>(done);
    }
    pos = static_cast<std::uint64_t>(from);
    while (n > 0) {
        auto size = static_cast<std::size_t>(std::min<std::uint64_t>(n, in.capacity()));
        const std::uint8_t* bytes = in.need(pos, size);
        for (std::size_t done = 0; done < size;) {
            ssize_t w = ::write(fd_, bytes + done, size - done);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                write_failed();
            done += static_cast<std::size_t>(w);
        }
        pos += size;
        n -= size;
    }
}
