#include "state/run_state.h"


namespace {

// About 1 MiB for each direction keeps system calls far apart while the
// whole program stays within a few MiB of memory.
constexpr std::size_t io_block_size = 1u << 20;
std::array<std::uint8_t, io_block_size> input_block;
std::array<std::uint8_t, io_block_size> output_block;
std::array<std::uint8_t, 64 * 1024> cue_block;

constexpr const char* too_large_text =
    "%s is too large: files of 4 GiB or more are not supported.\n";

}  // namespace

RunSettings settings;
IoState io{BlockReader(cue_block), BlockReader(input_block), BlockWriter(output_block), 0, 0, 0, 0, {}, {}};
std::array<TrackRecord, max_tracks> track_table;
std::array<std::uint8_t, sector_buffer_size> sector_buffer;
std::string output_name_template;
std::vector<BinImage> bin_images;

void reset_run_state()
{
    settings = RunSettings{};
    io.cue_file.reset();
    io.input_file.reset();
    io.output_file.abandon();
    io.sector_size = 0;
    io.read_chunk = 0;
    io.write_chunk = 0;
    io.input_size = 0;
    io.input_name.clear();
    io.output_name.clear();
    track_table.fill(TrackRecord{});
    sector_buffer.fill(0);
    output_name_template.clear();
    bin_images.clear();
}

std::uint32_t multi_sector_chunk(std::uint32_t sector_size)
{
    return (sector_buffer_size / sector_size) * sector_size;
}

std::uint64_t file_size(BlockReader& stream)
{
    std::uint64_t size = stream.size();
    stream.seek(0);
    if (size > max_input_size) {
        say(too_large_text, stream.name().c_str());
        end_run(1);
    }
    return size;
}
