#include "fixtures.h"

#include <algorithm>
#include <cstdio>

namespace {

std::uint8_t filler_byte(unsigned serial, std::size_t i)
{
    std::uint32_t x = serial * 2654435761u + static_cast<std::uint32_t>(i) * 40503u + 12345u;
    x ^= x >> 13;
    x *= 0x5bd1e995u;
    x ^= x >> 15;
    return static_cast<std::uint8_t>(2 + x % 0xFC);  // 0x02 .. 0xFD
}

std::uint8_t bcd(unsigned n)
{
    return static_cast<std::uint8_t>(((n / 10) << 4) | (n % 10));
}

}  // namespace

const Bytes dat_header_bytes = {
    'R',  'I',  'F',  'F',  0x44, 0x3F, 0x2D, 0x19, 'C',  'D',  'X',  'A',  'f',  'm',  't',
    ' ',  0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x11, 0x11, 'X',  'A',  0x01, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 'd',  'a',  't',  'a',  0x20, 0x3F, 0x2D, 0x19,
};

void put_bytes(Bytes& b, std::size_t at, std::initializer_list<std::uint8_t> values)
{
    std::copy(values.begin(), values.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
}

Bytes filler(std::size_t n, unsigned serial)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = filler_byte(serial, i);
    return b;
}

Bytes zeros(std::size_t n)
{
    return Bytes(n, 0);
}

Bytes mpeg_block(unsigned serial)
{
    Bytes b = filler(block_size, serial + 1000);
    put_bytes(b, 0, {0x00, 0x00, 0x01, 0xBA, 0x21});
    return b;
}

Bytes padded_block(unsigned serial)
{
    Bytes b = mpeg_block(serial);
    std::fill(b.begin() + 34, b.end(), 0xFF);
    return b;
}

Bytes broken_block(unsigned serial)
{
    Bytes b = filler(block_size, serial + 5000);
    put_bytes(b, 2, {0x55, 0x55, 0x55});
    return b;
}

Bytes mpeg_stream(std::size_t blocks, unsigned first_serial)
{
    Bytes out;
    for (std::size_t i = 0; i < blocks; ++i) {
        Bytes b = mpeg_block(first_serial + static_cast<unsigned>(i));
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

Bytes raw_sector(const Bytes& user_data, std::uint32_t lba)
{
    Bytes s(sector_bytes, 0);
    put_bytes(s, 0, {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00});
    std::uint32_t address = lba + 150;
    put_bytes(s, 12, {bcd(address / 4500), bcd((address / 75) % 60), bcd(address % 75), 0x02});
    put_bytes(s, 16, {0x01, 0x01, 0x62, 0x0F, 0x01, 0x01, 0x62, 0x0F});
    std::copy_n(user_data.begin(), std::min(user_data.size(), block_size), s.begin() + 24);
    return s;
}

Bytes raw_track(const Bytes& data, std::uint32_t first_lba)
{
    Bytes out;
    for (std::size_t at = 0, n = 0; at < data.size(); at += block_size, ++n) {
        Bytes user = slice(data, at, block_size);
        user.resize(block_size, 0);
        Bytes s = raw_sector(user, first_lba + static_cast<std::uint32_t>(n));
        out.insert(out.end(), s.begin(), s.end());
    }
    return out;
}

Bytes cif_sector(const Bytes& user_data)
{
    Bytes s(cif_bytes, 0);
    put_bytes(s, 0, {0x01, 0x01, 0x62, 0x0F, 0x01, 0x01, 0x62, 0x0F});
    std::copy_n(user_data.begin(), std::min(user_data.size(), block_size), s.begin() + 8);
    return s;
}

Bytes cif_track(const Bytes& data)
{
    Bytes out;
    for (std::size_t at = 0; at < data.size(); at += block_size) {
        Bytes user = slice(data, at, block_size);
        user.resize(block_size, 0);
        Bytes s = cif_sector(user);
        out.insert(out.end(), s.begin(), s.end());
    }
    return out;
}

Bytes dat_file(const Bytes& sectors)
{
    return concat({dat_header_bytes, sectors});
}

namespace cue {

Row raw_row(int sector, std::uint64_t end)
{
    return {sector / 4500, sector / 75 % 60, sector % 75, 2352, 2352ull * static_cast<unsigned>(sector), end};
}

std::string table(const std::vector<Row>& rows)
{
    std::string out = " Track #     mm:ss.ff     Sector Size          LBA Start        LBA End    \n";
    char line[160];
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        std::snprintf(line, sizeof line, "    %d        %.2d:%.2d.%.2d     %.4d bytes/sector    %9llu      %9llu\n",
                      static_cast<int>(i), r.minutes, r.seconds, r.frames, static_cast<int>(r.sector_size),
                      static_cast<unsigned long long>(r.start), static_cast<unsigned long long>(r.end));
        out += line;
    }
    return out + "\n";
}

std::string header(const std::string& method, const std::string& sheet, const std::string& output)
{
    std::string destination = method == "cue2raw"   ? "RAW image destination --> "
                              : method == "cue2dat" ? "VCD DAT destination --> "
                                                    : "MPEG destination --> ";
    return banner + "CUE source --> " + sheet + "\n" + destination + output + "\nExtraction method --> " + method +
           "\n";
}

std::string sheet(const std::string& bin, const std::vector<int>& starts, const std::string& type,
                  const std::string& eol)
{
    std::string text = "FILE " + bin + " BINARY" + eol;
    char msf[48];
    for (std::size_t i = 0; i < starts.size(); ++i) {
        int p = starts[i];
        std::snprintf(msf, sizeof msf, "%02d:%02d:%02d", p / 4500, p / 75 % 60, p % 75);
        std::string number = (i < 9 ? "0" : "") + std::to_string(i + 1);
        text += "  TRACK " + number + " " + type + eol + "    INDEX 01 " + msf + eol;
    }
    return text;
}

Bytes data_sectors(std::size_t n, std::uint32_t first_lba)
{
    return raw_track(zeros(n * block_size), first_lba);
}

std::string writing(int t)
{
    return "\xfe                 Track " + std::to_string(t) + " -> writing...\r";
}

std::string searching(int t)
{
    return "\xfe                 Track " + std::to_string(t) + " -> searching \r";
}

}  // namespace cue
