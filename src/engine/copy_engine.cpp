#include "engine/copy_engine.h"

#include <cstring>
#include <ctime>

#include "engine/corrections.h"
#include "engine/mode2.h"
#include "engine/scanner.h"
#include "state/run_state.h"

namespace {

struct Progress {
    std::uint64_t limit_mib = 1;
    std::int32_t last_percent = -127;  // matches no real percentage
    std::int32_t last_eta_percent = 0;
    Estimate eta{0, 0, 0};
    std::time_t start_time = 0;
};

// Percentages count whole MiB from the start of the input, not from where
// this copy began.
void report_progress(Progress& progress)
{
    auto percent = static_cast<std::int32_t>(((settings.input_pos >> 20) * 100) / progress.limit_mib);
    if (percent == progress.last_percent)
        return;
    if (percent - progress.last_eta_percent > 1) {
        double elapsed = std::difftime(std::time(nullptr), progress.start_time);
        progress.eta = estimate_remaining(percent, elapsed);
        progress.last_eta_percent = percent;
    }
    progress.last_percent = percent;
    say("\xfe %d%% [%02d:%02d:%02d] \r", percent, progress.eta.hours, progress.eta.minutes, progress.eta.seconds);
    flush_stdout();
}

const std::uint8_t* next_chunk(std::uint32_t size)
{
    const std::uint8_t* chunk = io.input_file.next(size);
    settings.input_pos += size;
    return chunk;
}

void emit_chunk(const std::uint8_t* chunk)
{
    if (settings.mode == mpg2dat_mode)
        write_mode2_sector(chunk);
    else
        io.output_file.write(chunk, io.write_chunk);
}

// Bytes 2 to 4 of a chunk that starts with a pack header are 01 BA 21 (the
// start code's last two bytes, then the SCR's first byte with its marker
// bits); only a chunk where all three differ counts as broken.
bool chunk_is_broken(const std::uint8_t* chunk)
{
    return chunk[2] != 0x01 && chunk[3] != 0xBA && chunk[4] != 0x21;
}

// The repair looks at up to 64 bytes of a chunk. A shorter chunk (a tiny
// sector size from -r or a CUE sheet) is looked at through a copy in which
// the bytes it lacks read as zero.
constexpr std::uint32_t examined_bytes = 64;

const std::uint8_t* examined(const std::uint8_t* chunk)
{
    if (io.read_chunk >= examined_bytes)
        return chunk;
    std::memcpy(sector_buffer.data(), chunk, io.read_chunk);
    std::memset(sector_buffer.data() + io.read_chunk, 0, examined_bytes - io.read_chunk);
    return sector_buffer.data();
}

// Copies of raw sectors carry sync patterns where a pack header would be:
// they are never repaired.
bool copies_raw_sectors()
{
    return settings.mode == cue2raw_mode || settings.mode == cue2dat_mode || settings.mode == raw2dat_mode;
}

void check_sizes()
{
    bool sane = io.sector_size >= 1 && io.sector_size <= sector_buffer_size && io.read_chunk >= 1 &&
                io.read_chunk <= sector_buffer_size && io.write_chunk <= io.read_chunk;
    if (!sane) {
        say("Sector sizes read %u, write %u are not usable.\n", io.read_chunk, io.write_chunk);
        end_run(1);
    }
}

}  // namespace

Estimate estimate_remaining(int percent, double elapsed)
{
    double remaining = ((100 - percent) * elapsed) / percent;
    int hours = static_cast<int>(remaining / 3600);
    int minutes = static_cast<int>((remaining - hours * 3600.0) / 60);
    int seconds = static_cast<int>(remaining - hours * 3600.0 - minutes * 60.0);
    return {hours, minutes, seconds};
}

void copy_stream(std::uint64_t limit)
{
    check_sizes();
    Progress progress;
    progress.limit_mib = limit >> 20 ? limit >> 20 : 1;
    reset_msf_counter();
    bool repair = settings.fix_blocks && !copies_raw_sectors();

    if (settings.remove_bumper && !settings.bumper_removed && !copies_raw_sectors())
        prescan_bumper(limit);
    if (settings.mode == mpg2dat_mode)
        write_dat_lead_in();
    progress.start_time = std::time(nullptr);

    bool first_chunk_seen = false;
    while (settings.input_pos + io.read_chunk <= limit) {
        const std::uint8_t* chunk = next_chunk(io.read_chunk);
        if (repair) {
            if (!first_chunk_seen) {
                first_chunk_seen = true;
                apply_initial_sequence(examined(chunk));
            }
            if (chunk_is_broken(examined(chunk))) {
                ++settings.block_corrections;
                std::uint64_t scan_limit = limit > io.sector_size ? limit - io.sector_size : 0;
                if (!scan_for_pattern(settings.pack_start_code.data(), scan_limit, true)) {
                    io.output_file.close();
                    return;
                }
                // The scanner left one sector of room before its own limit,
                // so this chunk ends before limit.
                io.input_file.seek(settings.input_pos);
                chunk = next_chunk(io.read_chunk);
            }
        }
        emit_chunk(chunk);
        report_progress(progress);
    }

    // Whole sectors left after the last whole chunk.
    while (settings.input_pos + io.sector_size <= limit)
        io.output_file.write(next_chunk(io.sector_size), io.sector_size);
    io.output_file.close();
}
