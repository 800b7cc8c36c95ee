#include "run/run_state.h"

#include "io/file_identity.h"

namespace {

std::array<std::uint8_t, io_block_size> input_block;
std::array<std::uint8_t, io_block_size> output_block;
std::array<std::uint8_t, 64 * 1024> cue_block;

}  // namespace

RunSettings settings;
IoState io{BlockReader(cue_block), BlockReader(input_block), BlockWriter(output_block), 0, 0, 0, 0, {}, {}, {}};
std::array<TrackRecord, max_tracks> track_table;
std::array<std::uint8_t, sector_buffer_size> sector_buffer;
std::string output_name_template;
std::vector<BinImage> bin_images;

void reset_run_state()
{
    settings = RunSettings{};
    io.cue_file.reset();
    io.input_file.reset();
    io.input_file.map_files(false);
    io.output_file.abandon();
    io.sector_size = 0;
    io.read_chunk = 0;
    io.write_chunk = 0;
    io.input_size = 0;
    io.input_name.clear();
    io.output_name.clear();
    io.dat_name.clear();
    track_table.fill(TrackRecord{});
    sector_buffer.fill(0);
    output_name_template.clear();
    forget_run_inputs();
    bin_images.clear();
}

std::uint32_t multi_sector_chunk(std::uint32_t sector_size)
{
    return (sector_buffer_size / sector_size) * sector_size;
}

std::uint64_t file_size(BlockReader& stream)
{
    return checked_size(stream);
}
