// A stretch of a regular file mapped into memory for reading: its bytes are
// looked at where the page cache holds them instead of being copied out
// first, which for a job that only reads (checking every sector of an image)
// is most of what reading costs.
//
// A file cut shorter while it is mapped makes the kernel raise SIGBUS on the
// pages past its new end. Those pages of the window are then replaced by
// zeros and the loss is remembered, so that the reader can end the run with
// a read error, as it does when read() comes up short. Each reader maps one
// window at a time; several readers, several windows, each guarded.
#pragma once

#include <cstddef>
#include <cstdint>

struct MappedWindow {
    const std::uint8_t* data = nullptr;
    std::uint64_t start = 0;  // file offset of data[0], a multiple of the page size
    std::size_t size = 0;
    std::size_t slot = 0;  // which of the guarded windows it is
};

// Windows that start at a multiple of this of the file are mapped with the
// page cache's large pages where it holds them.
inline constexpr std::size_t huge_page_size = 2 << 20;

// Where in a reservation from `reserved` on, huge_page_size longer than the
// window, a window of the file from `start` on goes: the first address at or
// after it that agrees with start modulo huge_page_size.
std::uintptr_t window_address(std::uintptr_t reserved, std::uint64_t start);

// Maps size bytes of fd from start on, with their pages present; false where
// the kernel refuses (the caller then reads the file as usual).
bool map_window(MappedWindow& window, int fd, std::uint64_t start, std::size_t size);
// Unmaps the window; true when pages of it were lost while it was mapped.
bool unmap_window(MappedWindow& window);

std::size_t page_size();
