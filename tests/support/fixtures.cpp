#include "fixtures.h"

static void add(Bytes& to, const Bytes& b)
{
    to.insert(to.end(), b.begin(), b.end());
}

const Bytes dat_header_bytes = {
    'R',  'I',  'F',  'F',  0x44, 0x3F, 0x2D, 0x19, 'C',  'D',  'X',  'A',  'f',  'm',  't',
    ' ',  0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x11, 0x11, 'X',  'A',  0x01, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 'd',  'a',  't',  'a',  0x20, 0x3F, 0x2D, 0x19,
};

Bytes filler(std::size_t n, unsigned serial)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) {
        std::uint32_t x = serial * 2654435761u + static_cast<std::uint32_t>(i) * 40503u + 12345u;
        x = (x ^ (x >> 13)) * 0x5bd1e995u;
        b[i] = static_cast<std::uint8_t>(2 + (x ^ (x >> 15)) % 0xFC);  // 0x02 .. 0xFD
    }
    return b;
}

Bytes mpeg_block(unsigned serial)
{
    return concat({{0, 0, 1, 0xBA, 0x21}, filler(block_size - 5, serial + 1000)});
}

Bytes padded_block(unsigned serial)
{
    return concat({slice(mpeg_block(serial), 0, 34), Bytes(block_size - 34, 0xFF)});
}

Bytes broken_block(unsigned serial)
{
    return concat({filler(2, serial), {0x55, 0x55, 0x55}, filler(block_size - 5, serial + 5000)});
}

Bytes mpeg_stream(std::size_t blocks, unsigned first_serial)
{
    Bytes out;
    for (std::size_t i = 0; i < blocks; ++i)
        add(out, mpeg_block(first_serial + static_cast<unsigned>(i)));
    return out;
}

Bytes track_sectors(const Bytes& data, bool raw, std::uint32_t first_lba)
{
    auto bcd = [](std::uint32_t n) { return static_cast<std::uint8_t>(n / 10 * 16 + n % 10); };
    Bytes out;
    for (std::size_t at = 0; at < data.size(); at += block_size) {
        std::uint32_t a = first_lba + static_cast<std::uint32_t>(at / block_size) + 150;
        if (raw)
            add(out, {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, bcd(a / 4500), bcd(a / 75 % 60),
                      bcd(a % 75), 2});
        Bytes user = slice(data, at, block_size);
        user.resize(block_size);
        add(out, concat({{1, 1, 0x62, 0x0F, 1, 1, 0x62, 0x0F}, user, raw ? zeros(4) : Bytes{}}));
    }
    return out;
}
