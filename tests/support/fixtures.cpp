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
