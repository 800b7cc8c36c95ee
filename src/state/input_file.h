// Reading input files. The rest of the program reads in sector-sized steps;
// this type turns them into large reads underneath.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <sys/types.h>

class BlockReader {
public:
    explicit BlockReader(std::span<std::uint8_t> buffer) : buf_(buffer) {}
    BlockReader(const BlockReader&) = delete;
    BlockReader& operator=(const BlockReader&) = delete;
    ~BlockReader() { close(); }

    // Opens a regular file (or block device) for reading; false when it cannot
    // be opened or is anything else, a folder or a pipe for instance.
    bool open(const std::string& path);
    void close();
    bool is_open() const { return fd_ >= 0; }
    const std::string& name() const { return name_; }

    std::uint64_t size() const;
    void seek(std::uint64_t pos) { pos_ = pos; }
    std::uint64_t tell() const { return pos_; }

    // Copies up to n bytes from the current position; returns how many there
    // were (fewer only at the end of the file). A failing read ends the run.
    std::size_t read(std::uint8_t* dst, std::size_t n);
    // The next n bytes (at most the buffer's size) as a view into the
    // buffer, valid until the next call; fewer than n end the run with a read
    // error. Saves copying the bytes once more on their way to the output.
    const std::uint8_t* next(std::size_t n);

    // Forgets everything: closes the file and drops the buffered bytes.
    void reset();

    // Whether this is the file last opened here (also after it was closed).
    bool is_file(dev_t device, ino_t inode) const { return opened_ && device == device_ && inode == inode_; }

private:
    // Refills the buffer from `at` on, keeping what it holds from there.
    bool fill(std::uint64_t at);
    [[noreturn]] void read_failed() const;

    std::span<std::uint8_t> buf_;
    std::string name_;
    int fd_ = -1;
    std::uint64_t pos_ = 0;
    std::uint64_t buf_start_ = 0;
    std::size_t buf_len_ = 0;
    bool opened_ = false;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};
