// Writing output files. The rest of the program writes in sector-sized
// steps; this type turns them into large writes underneath.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "state/input_file.h"

class BlockWriter {
public:
    explicit BlockWriter(std::span<std::uint8_t> buffer) : buf_(buffer) {}
    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;
    ~BlockWriter() { abandon(); }

    // Creates or truncates the file; false when that is not possible, or
    // when the file is one of the run's inputs, which truncating would destroy.
    bool open(const std::string& path);
    bool is_open() const { return fd_ >= 0; }
    const std::string& name() const { return name_; }

    // Any failure of the underlying writes or of the final close prints
    // "<name> could not be written." and ends the run.
    void write(const std::uint8_t* src, std::size_t n);
    void write(std::span<const std::uint8_t> bytes) { write(bytes.data(), bytes.size()); }
    void close();
    // Writes out what is buffered and closes, ignoring failures: used when
    // the run is ending for another reason.
    void close_quietly();
    // Closes without writing out what is buffered.
    void abandon();

private:
    bool flush_buffer();
    [[noreturn]] void write_failed();

    std::span<std::uint8_t> buf_;
    std::string name_;
    int fd_ = -1;
    std::size_t used_ = 0;

public:
    // Appends n bytes of `in` from pos on, as they stand: the kernel copies
    // them file to file where it can, read and write do it elsewhere.
    // Failures end the run as a failed write or read.
    void copy_from(BlockReader& in, std::uint64_t pos, std::uint64_t n);
};
