#include "engine/mode2.h"

#include <cstring>

#include "sector/edc.h"
#include "sector/msf.h"
#include "io/output_file.h"

namespace {

// File 1, channel 0, submode Form 2 + real-time; the four bytes twice.
constexpr std::array<std::uint8_t, 8> empty_subheader = {0x01, 0x00, 0x60, 0x00, 0x01, 0x00, 0x60, 0x00};
// File 1, channel 1, submode Form 2 + real-time + video, coding 0x0F.
constexpr std::array<std::uint8_t, 8> video_subheader = {0x01, 0x01, 0x62, 0x0F, 0x01, 0x01, 0x62, 0x0F};
constexpr std::uint8_t mode_byte = 0x02;
constexpr std::size_t header_size = 16;  // sync + minute, second, frame, mode
constexpr std::size_t edc_offset = form2_data_offset + form2_data_size;

// The EDC of subheader and user data of an empty sector, which never varies;
// stored on disc as AF 2B 17 D8. The tests compute it again.
constexpr std::uint32_t empty_sector_edc = 0xD8172BAF;

struct MsfCounter {
    std::uint16_t minute = 0;
    std::uint16_t second = 8;
    std::uint16_t frame = 12;
};
MsfCounter msf_counter;

// Sync, address and mode, then the subheader: the first 24 bytes of a sector.
void put_header(std::uint8_t* sector, std::span<const std::uint8_t, 8> subheader)
{
    std::memcpy(sector, sync_pattern.data(), sync_pattern.size());
    // The minute is written as a plain number, not BCD: minute 10 is 0x0A.
    sector[12] = static_cast<std::uint8_t>(msf_counter.minute);
    sector[13] = to_bcd(msf_counter.second % 75);
    sector[14] = to_bcd(msf_counter.frame % 75);
    sector[15] = mode_byte;
    std::memcpy(sector + header_size, subheader.data(), subheader.size());
}

}  // namespace

// RIFF size 422395716 and data size 422395680 (179590 sectors) are fixed
// values, written whatever follows.
const std::array<std::uint8_t, 44> dat_header = {
    'R',  'I',  'F',  'F',  0x44, 0x3F, 0x2D, 0x19, 'C',  'D',  'X',  'A',  'f',  'm',  't',
    ' ',  0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x11, 0x11, 'X',  'A',  0x01, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 'd',  'a',  't',  'a',  0x20, 0x3F, 0x2D, 0x19,
};

std::uint32_t cd_edc(std::span<const std::uint8_t> bytes)
{
    return edc_update(0, bytes);
}

void reset_msf_counter()
{
    msf_counter = MsfCounter{};
}

void write_dat_lead_in(BlockWriter& out)
{
    out.write(dat_header);
    std::array<std::uint8_t, raw_sector_size> sector{};
    for (int b = 0; b < 4; ++b)
        sector[edc_offset + b] = static_cast<std::uint8_t>(empty_sector_edc >> (8 * b));
    for (int i = 0; i < 30; ++i) {
        put_header(sector.data(), empty_subheader);
        // The lead-in runs from frame 12 to 41 and never needs a carry.
        ++msf_counter.frame;
        out.write(sector);
    }
}

void write_mode2_sector(BlockWriter& out, const std::uint8_t* user_data)
{
    std::array<std::uint8_t, form2_data_offset> header;
    put_header(header.data(), video_subheader);
    if (++msf_counter.frame > 74) {
        msf_counter.frame = 0;
        if (++msf_counter.second > 59) {
            msf_counter.second = 0;
            ++msf_counter.minute;
        }
    }
    static constexpr std::array<std::uint8_t, 4> no_edc{};  // data sectors carry no EDC
    out.write(header);
    out.write(user_data, form2_data_size);
    out.write(no_edc);
}
