// Reading input files. Every read names its position; the reader keeps a
// window of the file in its buffer and hands out views into it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <sys/types.h>
#include <sys/uio.h>
#include <vector>

#include "io/mapped_window.h"

// A source the program does not read as a file (a drive, an image only
// libcdio understands): fills dst with up to n bytes from `at` on and says
// how many it gave. It carries what it reads from with it.
using ByteSource = std::function<std::size_t(std::uint8_t* dst, std::size_t n, std::uint64_t at)>;

class BlockReader;

#ifndef MIVARO_IO_BLOCK
#define MIVARO_IO_BLOCK 262144
#endif
// 256 KiB a direction: as fast as 1 MiB on a quiet machine, and unlike
// 1 MiB it keeps its speed when other jobs press on memory (bench/run.sh
// shows the sweep).
inline constexpr std::size_t io_block_size = MIVARO_IO_BLOCK;

// Offsets are 32-bit quantities in the formats this program handles.
inline constexpr std::uint64_t max_input_size = 0xFFFFFFFFull;

// Every byte of the open input into `bytes`, where it holds at most
// max_size of them; false (nothing read) where it holds more. A read that
// fails ends the run.
bool read_whole(BlockReader& reader, std::uint64_t max_size, std::string& bytes);

// Prints the lines an input that cannot be opened gets.
void say_unopenable(const std::string& name);
// The line a file an input names (a BIN, an image's data file) gets when it
// cannot be opened.
void say_inaccessible(const std::string& name);
// The line an input gets when a read of it fails.
void say_unreadable(const std::string& name);

// The size of the open input; one of 4 GiB or more ends the run.
std::uint64_t checked_size(BlockReader& reader);

// The size of the file an input of that name opens, or nothing where it
// cannot be opened as one; one of 4 GiB or more ends the run.
std::optional<std::uint64_t> input_file_size(const std::string& path);

// Every byte of a small file (a sheet, a descriptor) read whole, or why not.
enum class WholeFile : std::uint8_t { read, unopenable, too_large };
WholeFile read_small_file(const std::string& path, std::uint64_t max_size, std::string& bytes);

class BlockReader {
public:
    explicit BlockReader(std::span<std::uint8_t> buffer) : buf_(buffer) {}
    // A reader with a buffer of its own, of that many bytes.
    explicit BlockReader(std::size_t buffer_size) : own_(buffer_size), buf_(own_) {}
    BlockReader(const BlockReader&) = delete;
    BlockReader& operator=(const BlockReader&) = delete;
    ~BlockReader() { close(); }

    // Opens a regular file (or block device) for reading; false when it cannot
    // be opened or is anything else, a folder or a pipe for instance.
    bool open(const std::string& path);
    // Reads these bytes as if they were a file of that name; they must
    // outlive the reading.
    void open_memory(std::span<const std::uint8_t> bytes, const std::string& name);
    // Reads a source of that size through its function, under that name.
    void open_source(ByteSource source, std::uint64_t size, const std::string& name);
    // Closes the file; lost pages of a mapped window stay remembered until
    // the next open or close_checked, which end the run with a read error.
    void close();
    // Closes the file, ending the run with a read error where part of it
    // could not be read after all.
    void close_checked();
    bool is_open() const { return fd_ >= 0 || memory_open_ || source_; }
    const std::string& name() const { return name_; }
    // The descriptor the kernel can copy from; -1 for bytes in memory.
    int fd() const { return fd_; }

    std::uint64_t size() const;
    // The most one view can hold.
    std::size_t capacity() const { return buf_.size(); }

    // The bytes from pos on, at most n of them (n at most the buffer's size):
    // fewer only where the input ends. Valid until the next read.
    std::span<const std::uint8_t> view(std::uint64_t pos, std::size_t n);
    // Exactly n bytes from pos on; an input that ends before them ends the
    // run with a read error.
    const std::uint8_t* need(std::uint64_t pos, std::size_t n);
    [[noreturn]] void read_failed() const;
    // Exactly n bytes from pos on into dst, past the buffer; an input that
    // ends before them ends the run with a read error.
    void read_into(std::uint8_t* dst, std::uint64_t pos, std::size_t n);
    // The bytes from pos on into each of `pieces` in turn, a file's in as
    // few system calls as the kernel allows.
    void read_into(std::span<const ::iovec> pieces, std::uint64_t pos);

    // Forgets everything: closes the file and drops the buffered bytes.
    void reset();

    // From here on (until turned off), views of regular files point into a
    // window of the file mapped into memory instead of into the buffer: for
    // jobs that only look at the bytes, this saves copying them.
    void map_files(bool on) { map_files_ = on; }

    // Reads ahead no further than `end` (the views asked for still come
    // whole): for a source where every byte costs, a drive, reading only
    // what is needed. Holds until the next open.
    void read_ahead_until(std::uint64_t end) { ahead_end_ = end; }

private:
    // Refills the buffer from `at` on, keeping what it holds from there.
    void fill(std::uint64_t at, std::size_t n);
    std::size_t fetch(std::uint8_t* dst, std::size_t n, std::uint64_t at) const;
    // The view from the mapped window, mapping the stretch from pos on where
    // the window does not hold it; false where the file cannot be mapped.
    bool mapped_view(std::uint64_t pos, std::size_t n, std::span<const std::uint8_t>& bytes);
    void drop_window();

    std::vector<std::uint8_t> own_;
    std::span<std::uint8_t> buf_;
    std::string name_;
    int fd_ = -1;
    std::span<const std::uint8_t> memory_;
    bool memory_open_ = false;
    ByteSource source_ = nullptr;
    std::uint64_t source_size_ = 0;
    std::uint64_t buf_start_ = 0;
    std::size_t buf_len_ = 0;
    bool regular_ = false;
    bool map_files_ = false;
    bool map_refused_ = false;
    bool pages_lost_ = false;
    std::uint64_t ahead_end_ = ~std::uint64_t{0};
    MappedWindow window_;
};
