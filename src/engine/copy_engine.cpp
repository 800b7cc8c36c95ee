#include "engine/copy_engine.h"

#include <array>
#include <cstring>
#include <ctime>

#include "engine/corrections.h"
#include "engine/mode2.h"
#include "engine/scanner.h"
#include "run/run_state.h"

namespace {

struct Progress {
    std::uint64_t limit_mib = 1;
    std::int32_t last_percent = -127;  // matches no real percentage
    std::int32_t last_eta_percent = 0;
    Estimate eta{0, 0, 0};
    std::time_t start_time = 0;
};

std::int32_t percent_now(const Progress& progress)
{
    return static_cast<std::int32_t>(((settings.input_pos >> 20) * 100) / progress.limit_mib);
}

// Percentages count whole MiB from the start of the input, not from where
// this copy began.
void report_percent(Progress& progress, std::int32_t percent)
{
    if (percent == progress.last_percent)
        return;
    if (percent - progress.last_eta_percent > 1) {
        double elapsed = std::difftime(std::time(nullptr), progress.start_time);
        progress.eta = estimate_remaining(percent, elapsed);
        progress.last_eta_percent = percent;
    }
    progress.last_percent = percent;
    say("\xfe %d%% [%02d:%02d:%02d] \r", percent, progress.eta.hours, progress.eta.minutes, progress.eta.seconds);
    flush_progress();
}

void report_progress(Progress& progress)
{
    report_percent(progress, percent_now(progress));
}

const std::uint8_t* next_chunk(const CopyPlan& plan, std::uint32_t size)
{
    if (plan.chunk_seen)
        plan.chunk_seen(settings.input_pos);
    const std::uint8_t* chunk = plan.input.need(settings.input_pos, size);
    settings.input_pos += size;
    return chunk;
}

// A Mode 2 sector always carries a whole block of user data: a shorter last
// piece is padded with zero bytes.
void emit_chunk(const CopyPlan& plan, const std::uint8_t* chunk, std::size_t size)
{
    if (plan.framing == Framing::plain_bytes) {
        plan.output.write(chunk, size);
    } else if (size >= form2_data_size) {
        write_mode2_sector(plan.output, chunk);
    } else {
        std::memcpy(sector_buffer.data(), chunk, size);
        std::memset(sector_buffer.data() + size, 0, form2_data_size - size);
        write_mode2_sector(plan.output, sector_buffer.data());
    }
}

// Bytes 2 to 4 of a chunk that starts with a pack header are 01 BA 21 (the
// start code's last two bytes, then the SCR's first byte with its marker
// bits); only a chunk where all three differ counts as broken.
bool chunk_is_broken(const std::uint8_t* chunk)
{
    return chunk[2] != 0x01 && chunk[3] != 0xBA && chunk[4] != 0x21;
}

// The repair looks at up to 64 bytes of a chunk. A shorter chunk (a tiny
// sector size, a last piece) is looked at through a copy in which the bytes
// it lacks read as zero.
constexpr std::uint32_t examined_bytes = 64;

const std::uint8_t* examined(const std::uint8_t* chunk, std::size_t size)
{
    if (size >= examined_bytes)
        return chunk;
    std::memmove(sector_buffer.data(), chunk, size);
    std::memset(sector_buffer.data() + size, 0, examined_bytes - size);
    return sector_buffer.data();
}

void check_sizes(const CopyPlan& plan)
{
    bool sane = plan.sector_size >= 1 && plan.sector_size <= sector_buffer_size && plan.read_chunk >= 1 &&
                plan.read_chunk <= sector_buffer_size && plan.write_chunk <= plan.read_chunk;
    if (!sane) {
        say("Sector sizes read %u, write %u are not usable.\n", plan.read_chunk, plan.write_chunk);
        end_run(1);
    }
}

// Chunks, then the whole sectors after them, copied as they stand. The kernel
// moves the bytes in runs of about 8 MiB (fewer, larger copies keep up with
// `cat` on a busy machine); the progress lines the chunks of a run would have
// printed follow it.
void copy_exact(const CopyPlan& plan, std::uint64_t limit, Progress& progress)
{
    std::array<std::int32_t, 8> owed{};
    std::size_t owed_lines = 0;
    std::int32_t seen = progress.last_percent;
    std::uint64_t pending = settings.input_pos;
    auto copy_run = [&] {
        plan.output.copy_from(plan.input, pending, settings.input_pos - pending);
        pending = settings.input_pos;
        for (std::size_t i = 0; i < owed_lines; ++i)
            report_percent(progress, owed[i]);
        owed_lines = 0;
    };
    while (settings.input_pos + plan.read_chunk <= limit) {
        settings.input_pos += plan.read_chunk;
        if (std::int32_t percent = percent_now(progress); percent != seen) {
            seen = percent;
            owed[owed_lines++] = percent;
            if (owed_lines == owed.size())
                copy_run();
        }
    }
    while (settings.input_pos + plan.sector_size <= limit)
        settings.input_pos += plan.sector_size;
    copy_run();
}

// Reading whole sectors from a pack header that sits some bytes into the
// first one, the last sector's user data ends before a whole sector could be
// read: it is taken on its own. A last piece of a block-by-block copy is
// taken as it is.
std::size_t last_piece(const CopyPlan& plan, std::uint64_t limit)
{
    if (plan.exact_copy)
        return 0;
    if (plan.read_chunk == plan.sector_size && plan.write_chunk < plan.read_chunk &&
        settings.input_pos + plan.write_chunk <= limit)
        return plan.write_chunk;
    if (plan.keep_last_block && settings.input_pos < limit)
        return static_cast<std::size_t>(limit - settings.input_pos);
    return 0;
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

void copy_stream(const CopyPlan& plan, std::uint64_t limit)
{
    check_sizes(plan);
    Progress progress;
    progress.limit_mib = limit >> 20 ? limit >> 20 : 1;
    reset_msf_counter();
    bool repair = settings.fix_blocks && !plan.exact_copy;

    if (settings.remove_bumper && !settings.bumper_removed && !plan.exact_copy)
        prescan_bumper(plan.input, limit);
    if (plan.framing == Framing::mode2_sectors)
        write_dat_lead_in(plan.output);
    progress.start_time = std::time(nullptr);

    if (plan.exact_copy && plan.write_chunk == plan.read_chunk) {
        copy_exact(plan, limit, progress);
        plan.output.close();
        return;
    }

    bool first_chunk_seen = false;
    // The first chunk of a repairing copy decides on the initial sequence;
    // a broken chunk counts as a correction.
    auto check_chunk = [&](const std::uint8_t* chunk, std::size_t size) {
        if (!first_chunk_seen) {
            first_chunk_seen = true;
            apply_initial_sequence(plan.output, plan.framing, examined(chunk, size));
        }
        if (!chunk_is_broken(examined(chunk, size)))
            return true;
        ++settings.block_corrections;
        return false;
    };
    while (settings.input_pos + plan.read_chunk <= limit) {
        const std::uint8_t* chunk = next_chunk(plan, plan.read_chunk);
        if (repair && !check_chunk(chunk, plan.read_chunk)) {
            std::uint64_t scan_limit = limit > plan.sector_size ? limit - plan.sector_size : 0;
            if (!scan_for_pattern(plan.input, settings.pack_start_code.data(), scan_limit, true)) {
                plan.output.close();
                return;
            }
            // The scanner left one sector of room before its own limit,
            // so this chunk ends before limit.
            chunk = next_chunk(plan, plan.read_chunk);
        }
        emit_chunk(plan, chunk, plan.write_chunk);
        report_progress(progress);
    }
    if (std::size_t size = last_piece(plan, limit)) {
        const std::uint8_t* chunk = next_chunk(plan, static_cast<std::uint32_t>(size));
        if (!repair || check_chunk(chunk, size)) {
            emit_chunk(plan, chunk, size);
            report_progress(progress);
        }
    }

    // Whole sectors left after the last whole chunk.
    while (settings.input_pos + plan.sector_size <= limit)
        plan.output.write(next_chunk(plan, plan.sector_size), plan.sector_size);
    plan.output.close();
}

void copy_stream(std::uint64_t limit, Framing framing, bool exact_copy, bool keep_last_block)
{
    copy_stream({io.input_file, io.output_file, io.sector_size, io.read_chunk, io.write_chunk, framing, exact_copy,
                 keep_last_block},
                limit);
}
