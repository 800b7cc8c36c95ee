// Writing output files. The rest of the program writes in sector-sized
// steps; this type turns them into large writes underneath.
//
// A file output is written under a temporary name in its own folder and
// takes its real name only when close() finds it complete, so a failed or
// interrupted run leaves no partial output and whatever file had that name
// before stays as it was. Outputs that are not files (/dev/null, a pipe, a
// terminal, a device) are written directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "io/input_file.h"

class BlockWriter {
public:
    explicit BlockWriter(std::span<std::uint8_t> buffer);
    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;
    ~BlockWriter();

    // Starts a new output; false when that is not possible, or when the
    // file is one of the run's inputs, which replacing would destroy. With
    // replace_input an input file may be replaced all the same, through a
    // temporary file renamed over it once the run has read what it needs.
    bool open(const std::string& path, bool replace_input = false);
    bool is_open() const { return fd_ >= 0; }
    const std::string& name() const { return name_; }

    // Any failure of the underlying writes or of the final close prints
    // "<name> could not be written." and ends the run.
    void write(const std::uint8_t* src, std::size_t n);
    void write(std::span<const std::uint8_t> bytes) { write(bytes.data(), bytes.size()); }
    // Room for the next n bytes of the output (n at most capacity()), for
    // the caller to fill in place; commit(n) then adds them.
    std::span<std::uint8_t> reserve(std::size_t n);
    std::size_t capacity() const { return buf_.size(); }
    void commit(std::size_t n);
    // Appends n bytes of `in` from pos on, as they stand: the kernel copies
    // them file to file where it can, read and write do it elsewhere.
    // Failures end the run as a failed write or read.
    void copy_from(BlockReader& in, std::uint64_t pos, std::uint64_t n);
    // Writes out what is buffered and gives the output its name.
    void close();
    // Closes outputs that belong together (an image and its sheet): each is
    // written out first, and they take their names only once all are
    // complete. A failure drops them all and ends the run as a failed write.
    static void close_together(std::span<BlockWriter* const> outputs);
    // Drops the output: the temporary file goes, an earlier file of that
    // name stays.
    void abandon();

    // From here until the output is closed, the writer buffers in `turns`
    // parts of part_size bytes of its own by turns: a thread of its own
    // writes the full parts out, in order, while the caller fills the next.
    // Without memory or a thread to spare, nothing changes.
    void write_behind(std::size_t part_size, std::size_t turns);

private:
    bool close_file();
    // Everything buffered written out, the thread's share included.
    bool write_out();
    bool hand_behind();
    bool settle_behind();
    void stop_behind();
    bool take_name();
    void forget_temp_name();
    bool flush_buffer();
    void start_writeback();
    [[noreturn]] void write_failed();

    std::span<std::uint8_t> buf_;
    std::string name_;
    std::string target_;     // the file the output replaces once complete
    std::string temp_name_;  // empty when the output is written directly
    int slot_ = -1;          // where the signal handler finds temp_name_
    int fd_ = -1;
    std::size_t used_ = 0;
    bool replacing_ = false;
    std::uint64_t written_ = 0;
    std::uint64_t handed_ = 0;

    struct Behind;
    std::unique_ptr<Behind> behind_;
};

// Writes all n bytes at the descriptor's position, going on where a signal
// cut a write short; false where a write fails.
bool write_all(int fd, const std::uint8_t* bytes, std::size_t n);

// Prints "<name> could not be written.", the line every output that cannot
// be made or written gets.
void say_unwritable(const std::string& name);

// On SIGINT, SIGTERM and SIGHUP (unless the run was started with them
// ignored) the temporary file of the output being written is removed before
// the signal ends the process as it would have.
void remove_unfinished_output_on_signals();

// From here on SIGINT, SIGTERM and SIGHUP (those not ignored) only note
// that they came, for a job that finishes its outputs before it stops.
void defer_stop_signals();
// The stop signal that came since, or 0.
int stop_signal_seen();
// Ends the process as that signal would have.
[[noreturn]] void stop_by_signal(int sig);
