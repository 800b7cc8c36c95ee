#include "state/input_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "state/file_identity.h"
#include "state/report.h"

namespace {

constexpr const char* read_error_text = "%s could not be read.\n";

}  // namespace

bool BlockReader::open(const std::string& path)
{
    close();
    // O_NONBLOCK keeps a FIFO from blocking the open; such files are refused
    // right after.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode))) {
        ::close(fd);
        return false;
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    remember_run_input(fd);
    fd_ = fd;
    name_ = path;
    opened_ = true;
    device_ = st.st_dev;
    inode_ = st.st_ino;
    pos_ = 0;
    buf_start_ = 0;
    buf_len_ = 0;
    return true;
}

void BlockReader::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    buf_len_ = 0;
}

void BlockReader::reset()
{
    close();
    name_.clear();
    opened_ = false;
    pos_ = 0;
    buf_start_ = 0;
}

std::uint64_t BlockReader::size() const
{
    off_t end = ::lseek(fd_, 0, SEEK_END);
    if (end < 0)
        read_failed();
    return static_cast<std::uint64_t>(end);
}

void BlockReader::read_failed() const
{
    say(read_error_text, name_.c_str());
    end_run(1);
}

bool BlockReader::fill(std::uint64_t at)
{
    std::size_t kept = 0;
    if (at >= buf_start_ && at < buf_start_ + buf_len_) {
        kept = static_cast<std::size_t>(buf_start_ + buf_len_ - at);
        std::memmove(buf_.data(), buf_.data() + (at - buf_start_), kept);
    }
    std::size_t got = kept;
    while (got < buf_.size()) {
        ssize_t n = ::pread(fd_, buf_.data() + got, buf_.size() - got, static_cast<off_t>(at + got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            read_failed();
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    buf_start_ = at;
    buf_len_ = got;
    return got > kept;
}

std::size_t BlockReader::read(std::uint8_t* dst, std::size_t n)
{
    if (fd_ < 0)
        read_failed();
    std::size_t done = 0;
    while (done < n) {
        if (pos_ < buf_start_ || pos_ >= buf_start_ + buf_len_) {
            if (!fill(pos_))
                break;
        }
        std::size_t offset = static_cast<std::size_t>(pos_ - buf_start_);
        std::size_t take = std::min(n - done, buf_len_ - offset);
        std::memcpy(dst + done, buf_.data() + offset, take);
        done += take;
        pos_ += take;
    }
    return done;
}

const std::uint8_t* BlockReader::next(std::size_t n)
{
    if (fd_ < 0 || n > buf_.size())
        read_failed();
    if (pos_ < buf_start_ || pos_ + n > buf_start_ + buf_len_) {
        fill(pos_);
        if (buf_len_ < n)
            read_failed();
    }
    const std::uint8_t* view = buf_.data() + (pos_ - buf_start_);
    pos_ += n;
    return view;
}
