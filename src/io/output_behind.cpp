// Writing behind: a thread of the writer's own writes the full buffers, in
// the order they were filled, while the caller fills the next. A job that
// checks every byte it writes has them in its own memory anyway; written
// from there while still in the processor's cache, they cost one pass
// through memory instead of the two a check followed by the kernel's own
// copy takes. Several buffers in turn, not two, let either side run ahead
// for a while where the other is held up.
#include <atomic>
#include <sys/mman.h>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "io/mapped_window.h"
#include "io/output_file.h"

namespace {

constexpr std::size_t stopping = ~std::size_t{0};

struct Part {
    std::span<std::uint8_t> bytes;
    // The bytes handed over and not yet written, or `stopping`; the caller
    // hands a part over only when it is 0, the thread sets it back to 0. A
    // handover costs a system call only where one side waits for the other.
    std::atomic<std::size_t> size = 0;
    std::size_t handed = 0;
};

// The parts' memory, in pages of 2 MiB where the kernel gives them: its
// first use then costs a few page faults instead of one every 4 KiB, which
// on a virtual machine took as long as writing the first megabytes.
struct PartsMemory {
    void* at = MAP_FAILED;
    std::size_t size = 0;
    PartsMemory(const PartsMemory&) = delete;
    PartsMemory& operator=(const PartsMemory&) = delete;
    explicit PartsMemory(std::size_t bytes) : size((bytes + huge_page_size - 1) / huge_page_size * huge_page_size)
    {
        void* reserved = ::mmap(nullptr, size + huge_page_size, PROT_READ | PROT_WRITE,
                                MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (reserved == MAP_FAILED)
            return;
        auto low = reinterpret_cast<std::uintptr_t>(reserved);
        std::uintptr_t aligned = (low + huge_page_size - 1) / huge_page_size * huge_page_size;
        if (aligned > low)
            ::munmap(reserved, aligned - low);
        ::munmap(reinterpret_cast<void*>(aligned + size), low + huge_page_size - aligned);
        at = reinterpret_cast<void*>(aligned);
        ::madvise(at, size, MADV_HUGEPAGE);
    }
    ~PartsMemory()
    {
        if (at != MAP_FAILED)
            ::munmap(at, size);
    }
};

}  // namespace

struct BlockWriter::Behind {
    explicit Behind(std::size_t bytes) : memory(bytes) {}
    std::span<std::uint8_t> own;  // the buffer the writer was made with
    PartsMemory memory;
    std::vector<Part> parts;
    std::size_t filling = 0;  // the part buf_ is
    int fd = -1;
    std::atomic<bool> failed = false;
    std::thread thread;
};

BlockWriter::BlockWriter(std::span<std::uint8_t> buffer) : buf_(buffer) {}

BlockWriter::~BlockWriter()
{
    abandon();
}

void BlockWriter::write_behind(std::size_t part_size, std::size_t turns)
{
    if (fd_ < 0 || behind_ || used_ > 0 || part_size == 0 || turns < 2)
        return;
    auto behind = std::make_unique<Behind>(part_size * turns);
    Behind& b = *behind;
    if (b.memory.at == MAP_FAILED)
        return;
    b.own = buf_;
    b.parts = std::vector<Part>(turns);
    for (std::size_t i = 0; i < turns; ++i)
        b.parts[i].bytes = {static_cast<std::uint8_t*>(b.memory.at) + i * part_size, part_size};
    b.fd = fd_;
    try {
        b.thread = std::thread([&b] {
            for (std::size_t i = 0;; i = (i + 1) % b.parts.size()) {
                Part& part = b.parts[i];
                part.size.wait(0);
                std::size_t n = part.size.load();
                if (n == stopping)
                    return;
                // After a failed write the output is dropped: nothing more
                // is written to it.
                if (!b.failed.load() && !write_all(b.fd, part.bytes.data(), n))
                    b.failed.store(true);
                part.size.store(0);
                part.size.notify_one();
            }
        });
    } catch (const std::system_error&) {
        return;
    }
    buf_ = b.parts[0].bytes;
    behind_ = std::move(behind);
}

namespace {

// Waits until the part is written; what it held then counts as written.
std::size_t wait_written(Part& part)
{
    for (std::size_t n = part.size.load(); n != 0 && n != stopping; n = part.size.load())
        part.size.wait(n);
    return std::exchange(part.handed, 0);
}

}  // namespace

// Waits for every part handed over; false where any write failed.
bool BlockWriter::settle_behind()
{
    if (!behind_)
        return true;
    for (Part& part : behind_->parts)
        written_ += wait_written(part);
    return !behind_->failed.load();
}

bool BlockWriter::hand_behind()
{
    Behind& b = *behind_;
    Part& full = b.parts[b.filling];
    full.handed = used_;
    full.size.store(used_);
    full.size.notify_one();
    b.filling = (b.filling + 1) % b.parts.size();
    Part& next = b.parts[b.filling];
    written_ += wait_written(next);
    buf_ = next.bytes;
    used_ = 0;
    start_writeback();
    return !b.failed.load();
}

bool BlockWriter::write_out()
{
    return flush_buffer() && settle_behind();
}

void BlockWriter::stop_behind()
{
    if (!behind_)
        return;
    Behind& b = *behind_;
    // The writes under way are finished first: the file is closed after
    // this. The thread waits on the part to be handed over next.
    settle_behind();
    Part& next = b.parts[b.filling];
    next.size.store(stopping);
    next.size.notify_one();
    b.thread.join();
    buf_ = b.own;
    behind_.reset();
}
