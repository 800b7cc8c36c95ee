#include "sector/msf.h"

#include <cstring>

void put_sector_header(std::uint8_t* sector, std::uint32_t lsn)
{
    std::memcpy(sector, sync_pattern.data(), sync_pattern.size());
    std::uint32_t address = lsn + lead_in_sectors;
    sector[12] = to_bcd(address / frames_per_minute);
    sector[13] = to_bcd(address / frames_per_second % 60);
    sector[14] = to_bcd(address % frames_per_second);
    sector[15] = 2;
}
