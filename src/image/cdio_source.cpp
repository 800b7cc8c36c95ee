#include "image/cdio_source.h"

#include <algorithm>
#include <array>
#include <cdio/logging.h>
#include <cstring>
#include <libvcd/logging.h>

#include "run/run_state.h"

namespace {

constexpr const char* unreadable_text = "\nDisc sector %u could not be read in %d tries: it is written as zeros.\n";

// Sectors asked of libcdio at once.
constexpr std::uint32_t batch_sectors = 64;
// libcdio hands out Mode 2 sectors without their sync and header: the 2336
// bytes from the subheader on.
constexpr std::uint32_t mode2_size = 2336;
constexpr std::uint32_t header_size = raw_sector_size - mode2_size;

CdIo_t* device = nullptr;
std::uint32_t device_sectors = 0;
std::array<std::uint8_t, batch_sectors * mode2_size> batch;
std::array<std::uint8_t, raw_sector_size> whole;

std::uint8_t bcd(unsigned value)
{
    return static_cast<std::uint8_t>((value / 10) << 4 | (value % 10));
}

}  // namespace

// The sync and header a drive or image gave no copy of, as the disc would
// have them at that place.
void put_sector_header(std::uint8_t* sector, std::uint32_t lsn)
{
    static constexpr std::uint8_t sync[12] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    std::memcpy(sector, sync, sizeof sync);
    std::uint32_t address = lsn + 150;
    sector[12] = bcd(address / frames_per_minute);
    sector[13] = bcd(address / frames_per_second % 60);
    sector[14] = bcd(address % frames_per_second);
    sector[15] = 2;
}

namespace {

// One sector, tried again where the first reads fail; a sector that never
// reads is all zeros, which no check takes for a whole sector.
void read_one(std::uint8_t* sector, std::uint32_t lsn)
{
    for (int attempt = 0; attempt < cdio_read_tries; ++attempt)
        if (cdio_read_mode2_sectors(device, sector + header_size, static_cast<lsn_t>(lsn), true, 1) == DRIVER_OP_SUCCESS) {
            put_sector_header(sector, lsn);
            return;
        }
    std::memset(sector, 0, raw_sector_size);
    say(unreadable_text, static_cast<unsigned>(lsn), cdio_read_tries);
}

std::size_t read_device(std::uint8_t* dst, std::size_t n, std::uint64_t at)
{
    std::size_t given = 0;
    while (given < n) {
        std::uint64_t pos = at + given;
        auto lsn = static_cast<std::uint32_t>(pos / raw_sector_size);
        auto skip = static_cast<std::size_t>(pos % raw_sector_size);
        if (lsn >= device_sectors)
            break;
        std::uint32_t count = std::min<std::uint32_t>(
            {batch_sectors, device_sectors - lsn, static_cast<std::uint32_t>((n - given + skip + raw_sector_size - 1) / raw_sector_size)});
        bool whole_batch =
            cdio_read_mode2_sectors(device, batch.data(), static_cast<lsn_t>(lsn), true, count) == DRIVER_OP_SUCCESS;
        for (std::uint32_t k = 0; k < count && given < n; ++k) {
            if (whole_batch) {
                put_sector_header(whole.data(), lsn + k);
                std::memcpy(whole.data() + header_size, batch.data() + std::size_t{k} * mode2_size, mode2_size);
            } else {
                read_one(whole.data(), lsn + k);
            }
            std::size_t take = std::min(raw_sector_size - skip, n - given);
            std::memcpy(dst + given, whole.data() + skip, take);
            given += take;
            skip = 0;
        }
    }
    return given;
}

void ignore_cdio_log(cdio_log_level_t, const char*) {}
void ignore_vcd_log(vcd_log_level_t, const char*) {}

}  // namespace

bool open_cdio_source(const std::string& path, CdioKind kind)
{
    close_cdio_source();
    driver_id_t driver = kind == CdioKind::toc ? DRIVER_CDRDAO : DRIVER_DEVICE;
    device = cdio_open(path.c_str(), driver);
    if (!device)
        return false;
    lsn_t end = cdio_get_disc_last_lsn(device);
    if (end == CDIO_INVALID_LSN || end <= 0) {
        close_cdio_source();
        return false;
    }
    device_sectors = static_cast<std::uint32_t>(end);
    bin_images.push_back({path, std::uint64_t{device_sectors} * raw_sector_size, read_device});
    return true;
}

std::vector<std::pair<int, std::uint32_t>> cdio_track_starts()
{
    std::vector<std::pair<int, std::uint32_t>> starts;
    if (!device)
        return starts;
    track_t first = cdio_get_first_track_num(device);
    track_t last = cdio_get_last_track_num(device);
    if (first == CDIO_INVALID_TRACK || last == CDIO_INVALID_TRACK)
        return starts;
    for (track_t t = first; t <= last && t < CDIO_CDROM_LEADOUT_TRACK; ++t) {
        lsn_t lsn = cdio_get_track_lsn(device, t);
        if (lsn != CDIO_INVALID_LSN && lsn >= 0 && static_cast<std::uint32_t>(lsn) < device_sectors)
            starts.emplace_back(t, static_cast<std::uint32_t>(lsn));
    }
    return starts;
}

CdIo_t* cdio_source()
{
    return device;
}

void close_cdio_source()
{
    if (device)
        cdio_destroy(device);
    device = nullptr;
    device_sectors = 0;
}

void silence_cdio_logs()
{
    cdio_log_set_handler(ignore_cdio_log);
    vcd_log_set_handler(ignore_vcd_log);
}
