#include "io/input_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "io/file_identity.h"
#include "io/report.h"

namespace {

constexpr const char* read_error_text = "%s could not be read.\n";
constexpr const char* open_failed_text = "%s could not be opened.\nFile could be missing.\n\n";
constexpr const char* inaccessible_text = "%s could not be opened or accessed.\n";
constexpr const char* too_large_text = "%s is too large: files of 4 GiB or more are not supported.\n";

}  // namespace

void say_unopenable(const std::string& name)
{
    say(open_failed_text, name.c_str());
}

void say_inaccessible(const std::string& name)
{
    say(inaccessible_text, name.c_str());
}

std::uint64_t checked_size(BlockReader& reader)
{
    std::uint64_t size = reader.size();
    if (size > max_input_size) {
        say(too_large_text, reader.name().c_str());
        end_run(1);
    }
    return size;
}

std::optional<std::uint64_t> input_file_size(const std::string& path)
{
    std::array<std::uint8_t, 1> unused{};
    BlockReader reader(unused);
    if (!reader.open(path))
        return std::nullopt;
    return checked_size(reader);
}

WholeFile read_small_file(const std::string& path, std::uint64_t max_size, std::string& bytes)
{
    BlockReader reader(std::size_t{64} * 1024);
    if (!reader.open(path))
        return WholeFile::unopenable;
    return read_whole(reader, max_size, bytes) ? WholeFile::read : WholeFile::too_large;
}

bool BlockReader::open(const std::string& path)
{
    // A window lost to a file cut shorter is said before another file
    // takes its place, however this one is opened.
    close();
    if (pages_lost_)
        read_failed();
    reset();
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
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    remember_run_input(fd);
    regular_ = S_ISREG(st.st_mode);
    fd_ = fd;
    name_ = path;
    return true;
}

void BlockReader::open_memory(std::span<const std::uint8_t> bytes, const std::string& name)
{
    reset();
    memory_ = bytes;
    memory_open_ = true;
    name_ = name;
}

void BlockReader::open_source(ByteSource source, std::uint64_t size, const std::string& name)
{
    reset();
    source_ = std::move(source);
    source_size_ = size;
    name_ = name;
}

void BlockReader::drop_window()
{
    if (unmap_window(window_))
        pages_lost_ = true;
}

void BlockReader::close()
{
    drop_window();
    map_refused_ = false;
    regular_ = false;
    source_ = nullptr;
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    memory_open_ = false;
    buf_len_ = 0;
}

void BlockReader::close_checked()
{
    close();
    if (pages_lost_)
        read_failed();
}

void BlockReader::reset()
{
    close();
    ahead_end_ = ~std::uint64_t{0};
    pages_lost_ = false;
    name_.clear();
    memory_ = {};
    buf_start_ = 0;
}

std::uint64_t BlockReader::size() const
{
    if (memory_open_)
        return memory_.size();
    if (source_)
        return source_size_;
    off_t end = fd_ >= 0 ? ::lseek(fd_, 0, SEEK_END) : -1;
    if (end < 0)
        read_failed();
    return static_cast<std::uint64_t>(end);
}

void say_unreadable(const std::string& name)
{
    say(read_error_text, name.c_str());
}

void BlockReader::read_failed() const
{
    say_unreadable(name_);
    end_run(1);
}

std::size_t BlockReader::fetch(std::uint8_t* dst, std::size_t n, std::uint64_t at) const
{
    if (memory_open_) {
        if (at >= memory_.size())
            return 0;
        std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(n, memory_.size() - at));
        std::memcpy(dst, memory_.data() + at, take);
        return take;
    }
    if (source_) {
        if (at >= source_size_)
            return 0;
        return source_(dst, static_cast<std::size_t>(std::min<std::uint64_t>(n, source_size_ - at)), at);
    }
    if (fd_ < 0)
        read_failed();
    std::size_t got = 0;
    while (got < n) {
        ssize_t r = ::pread(fd_, dst + got, n - got, static_cast<off_t>(at + got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            read_failed();
        if (r == 0)
            break;
        got += static_cast<std::size_t>(r);
    }
    return got;
}

void BlockReader::fill(std::uint64_t at, std::size_t n)
{
    std::size_t kept = 0;
    if (at >= buf_start_ && at < buf_start_ + buf_len_) {
        kept = static_cast<std::size_t>(buf_start_ + buf_len_ - at);
        std::memmove(buf_.data(), buf_.data() + (at - buf_start_), kept);
    }
    buf_start_ = at;
    auto want = static_cast<std::size_t>(std::max(at + n, std::min(ahead_end_, at + buf_.size())) - at);
    buf_len_ = kept + (want > kept ? fetch(buf_.data() + kept, want - kept, at + kept) : 0);
}

bool BlockReader::mapped_view(std::uint64_t pos, std::size_t n, std::span<const std::uint8_t>& bytes)
{
    if (pos < window_.start || pos + n > window_.start + window_.size) {
        drop_window();
        if (pages_lost_)
            read_failed();
        std::uint64_t end = size();
        if (pos >= end) {
            bytes = {};
            return true;
        }
        // A window starts at a multiple of 2 MiB and reaches a view's length
        // past the next one, so that every view fits and every stretch of
        // 2 MiB is mapped whole once. The mapped pages count as the program's
        // own memory, so the window stays that small.
        const std::uint64_t window_size = huge_page_size + buf_.size();
        std::uint64_t start = pos / huge_page_size * huge_page_size;
        if (!map_window(window_, fd_, start, static_cast<std::size_t>(std::min(window_size, end - start)))) {
            map_refused_ = true;
            return false;
        }
    }
    std::size_t offset = static_cast<std::size_t>(pos - window_.start);
    bytes = {window_.data + offset, std::min(n, window_.size - offset)};
    return true;
}

std::span<const std::uint8_t> BlockReader::view(std::uint64_t pos, std::size_t n)
{
    n = std::min(n, buf_.size());
    std::span<const std::uint8_t> mapped;
    if (map_files_ && regular_ && !map_refused_ && mapped_view(pos, n, mapped))
        return mapped;
    if (pos < buf_start_ && pos + n >= buf_start_ && buf_len_ > 0) {
        // A walk backwards (an item's trailing empty sectors, looked at from
        // its end): the window is refilled to end where this view ends, so
        // the steps before it find their bytes there too.
        std::uint64_t start = pos + n > buf_.size() ? pos + n - buf_.size() : 0;
        buf_start_ = start;
        buf_len_ = fetch(buf_.data(), buf_.size(), start);
    } else if (pos < buf_start_ || pos + n > buf_start_ + buf_len_) {
        fill(pos, n);
    }
    std::size_t offset = static_cast<std::size_t>(pos - buf_start_);
    return {buf_.data() + offset, std::min(n, buf_len_ - offset)};
}

const std::uint8_t* BlockReader::need(std::uint64_t pos, std::size_t n)
{
    std::span<const std::uint8_t> bytes = view(pos, n);
    if (bytes.size() < n)
        read_failed();
    return bytes.data();
}

void BlockReader::read_into(std::uint8_t* dst, std::uint64_t pos, std::size_t n)
{
    if (fetch(dst, n, pos) < n)
        read_failed();
}

void BlockReader::read_into(std::span<const ::iovec> pieces, std::uint64_t pos)
{
    while (!pieces.empty()) {
        std::size_t got = 0;
        if (fd_ >= 0) {
            auto count = static_cast<int>(std::min<std::size_t>(pieces.size(), IOV_MAX));
            ssize_t r = ::preadv(fd_, pieces.data(), count, static_cast<off_t>(pos));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                read_failed();
            got = static_cast<std::size_t>(r);
        }
        // What the kernel filled is passed over; a piece it filled in part,
        // or any piece of an input that is no file, is read on its own.
        while (!pieces.empty() && got >= pieces[0].iov_len) {
            got -= pieces[0].iov_len;
            pos += pieces[0].iov_len;
            pieces = pieces.subspan(1);
        }
        if (!pieces.empty()) {
            read_into(static_cast<std::uint8_t*>(pieces[0].iov_base) + got, pos + got, pieces[0].iov_len - got);
            pos += pieces[0].iov_len;
            pieces = pieces.subspan(1);
        }
    }
}

bool read_whole(BlockReader& reader, std::uint64_t max_size, std::string& bytes)
{
    std::uint64_t size = reader.size();
    if (size > max_size)
        return false;
    bytes.clear();
    while (bytes.size() < size) {
        std::span<const std::uint8_t> view = reader.view(bytes.size(), reader.capacity());
        if (view.empty())
            reader.read_failed();
        bytes.append(view.begin(), view.end());
    }
    return true;
}
