#include "fixtures.h"

#include "sector/edc.h"
#include "sector/msf.h"

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

Bytes mode1_sectors(std::size_t count, std::uint32_t first_lba)
{
    // GF(2^8) with x^8+x^4+x^3+x^2+1: times x, and its inverse's partner.
    std::uint8_t times_x[256], back[256];
    for (unsigned i = 0; i < 256; ++i) {
        times_x[i] = static_cast<std::uint8_t>((i << 1) ^ (i & 0x80 ? 0x11D : 0));
        back[i ^ times_x[i]] = static_cast<std::uint8_t>(i);
    }
    Bytes out;
    for (std::uint32_t n = 0; n < count; ++n) {
        Bytes s = concat({zeros(16), filler(2048, n), zeros(sector_bytes - 2064)});
        put_sector_header(s.data(), first_lba + n);
        s[15] = 1;  // mode
        std::uint32_t edc = edc_update(0, std::span(s).first(2064));
        for (int i = 0; i < 4; ++i)
            s[2064 + i] = static_cast<std::uint8_t>(edc >> (8 * i));
        // P over the header on, then Q over that and P: each a pair of bytes
        // per diagonal or column word.
        auto parity = [&](unsigned majors, unsigned minors, unsigned major_step, unsigned minor_step, std::size_t at) {
            for (unsigned major = 0; major < majors; ++major) {
                unsigned index = (major >> 1) * major_step + (major & 1);
                std::uint8_t a = 0, b = 0;
                for (unsigned minor = 0; minor < minors; ++minor, index = (index + minor_step) % (majors * minors)) {
                    a = times_x[a ^ s[12 + index]];
                    b ^= s[12 + index];
                }
                a = back[times_x[a] ^ b];
                s[at + major] = a;
                s[at + major + majors] = a ^ b;
            }
        };
        parity(86, 24, 2, 86, 2076);
        parity(52, 43, 86, 88, 2248);
        add(out, s);
    }
    return out;
}
