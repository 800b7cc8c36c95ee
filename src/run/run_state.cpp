#include "run/run_state.h"

#include "io/file_identity.h"

namespace {

// 256 KiB a direction: as fast as 1 MiB on a quiet machine, and unlike
// 1 MiB it keeps its speed when other jobs press on memory (bench/run.sh
// shows the sweep).
constexpr std::size_t io_block_size = MIVARO_IO_BLOCK;
std::array<std::uint8_t, io_block_size> input_block;
std::array<std::uint8_t, io_block_size> output_block;
std::array<std::uint8_t, 64 * 1024> cue_block;

constexpr const char* too_large_text =
    "%s is too large: files of 4 GiB or more are not supported.\n";

}  // namespace

RunSettings settings;
IoState io{BlockReader(cue_block), BlockReader(input_block), BlockWriter(output_block), 0, 0, 0, 0, {}, {},
           Framing::plain_bytes, false, false, nullptr};
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
    io.framing = Framing::plain_bytes;
    io.exact_copy = false;
    io.keep_last_block = false;
    io.chunk_seen = nullptr;
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
    std::uint64_t size = stream.size();
    if (size > max_input_size) {
        say(too_large_text, stream.name().c_str());
        end_run(1);
    }
    return size;
}
