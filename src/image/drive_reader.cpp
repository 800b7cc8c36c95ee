#include "image/drive_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "io/report.h"
#include "sector/formats.h"
#include "sector/msf.h"

namespace {

constexpr const char* unreadable_text = "\nDisc sector %u could not be read in %d tries: it is written as zeros.\n";

constexpr std::uint32_t mode2_size = 2336;
constexpr std::uint32_t header_size = raw_sector_size - mode2_size;

struct Drive {
    Mode2Reads reads;
    std::uint32_t sectors = 0;
    std::vector<std::uint8_t> batch = std::vector<std::uint8_t>(std::size_t{drive_batch_sectors} * mode2_size);
    std::array<std::uint8_t, raw_sector_size> whole{};
};

void read_one(Drive& drive, std::uint32_t lsn)
{
    std::uint8_t* sector = drive.whole.data();
    for (int attempt = 0; attempt < drive_read_tries; ++attempt)
        if (drive.reads(sector + header_size, lsn, 1)) {
            put_sector_header(sector, lsn);
            return;
        }
    std::memset(sector, 0, raw_sector_size);
    say(unreadable_text, static_cast<unsigned>(lsn), drive_read_tries);
}

std::size_t read_bytes(Drive& drive, std::uint8_t* dst, std::size_t n, std::uint64_t at)
{
    std::size_t given = 0;
    while (given < n) {
        std::uint64_t pos = at + given;
        auto lsn = static_cast<std::uint32_t>(pos / raw_sector_size);
        auto skip = static_cast<std::size_t>(pos % raw_sector_size);
        if (pos / raw_sector_size >= drive.sectors)
            break;
        std::uint32_t count = std::min<std::uint32_t>(
            {drive_batch_sectors, drive.sectors - lsn,
             static_cast<std::uint32_t>((n - given + skip + raw_sector_size - 1) / raw_sector_size)});
        bool whole_batch = drive.reads(drive.batch.data(), lsn, count);
        for (std::uint32_t k = 0; k < count && given < n; ++k) {
            if (whole_batch) {
                put_sector_header(drive.whole.data(), lsn + k);
                std::memcpy(drive.whole.data() + header_size, drive.batch.data() + std::size_t{k} * mode2_size,
                            mode2_size);
            } else {
                read_one(drive, lsn + k);
            }
            std::size_t take = std::min(raw_sector_size - skip, n - given);
            std::memcpy(dst + given, drive.whole.data() + skip, take);
            given += take;
            skip = 0;
        }
    }
    return given;
}

}  // namespace

ByteSource drive_byte_source(Mode2Reads reads, std::uint32_t sectors)
{
    auto drive = std::make_shared<Drive>();
    drive->reads = std::move(reads);
    drive->sectors = sectors;
    return [drive](std::uint8_t* dst, std::size_t n, std::uint64_t at) { return read_bytes(*drive, dst, n, at); };
}
