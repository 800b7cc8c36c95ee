#include "stream_fixtures.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace expect {

std::string completed(const std::string& output)
{
    return "\n\xfe completed. " + output + " written.\n";
}

std::string corrections(unsigned count)
{
    return "\xfe " + std::to_string(count) + " MPEG block correction(s) applied.\n\n";
}

std::string read_size_line(int bytes)
{
    return "- User defined read sector size: " + std::to_string(bytes) + " bytes\n";
}

std::string write_size_line(int bytes)
{
    return "- User defined write sector size: " + std::to_string(bytes) + " bytes\n";
}

std::string open_failed(const std::string& input)
{
    return input + " could not be opened.\nFile could be missing.\n\n";
}

std::string header(const std::string& method, const std::string& input, const std::string& output,
                   const std::string& summary)
{
    struct Lines {
        const char* source;
        const char* destination;
        const char* method;
    };
    static const std::map<std::string, Lines> lines = {
        {"raw2mpg", {"RAW track image source --> ", "MPEG destination --> ", "Extraction method --> raw2mpg\n"}},
        {"dat2mpg", {"VCD DAT source --> ", "MPEG destination --> ", "Extraction method --> dat2mpg\n"}},
        {"raw2dat", {"RAW track image source --> ", "VCD DAT destination --> ", "Extraction method --> raw2dat\n"}},
        {"mpg2dat", {"MPEG file source --> ", "VCD DAT destination --> ", "Conversion method --> mpg2dat\n"}},
    };
    const Lines& l = lines.at(method);
    return std::string(l.source) + input + "\n" + l.destination + output + "\n" + l.method + summary + "\n";
}

}  // namespace expect

std::string mask_clock(std::string text)
{
    auto digit = [&](std::size_t i) { return std::isdigit(static_cast<unsigned char>(text[i])) != 0; };
    for (std::size_t i = 0; i + 10 <= text.size(); ++i) {
        if (text[i] == '[' && text[i + 9] == ']' && text[i + 3] == ':' && text[i + 6] == ':' && digit(i + 1) &&
            digit(i + 2) && digit(i + 4) && digit(i + 5) && digit(i + 7) && digit(i + 8))
            text.replace(i, 10, "[hh:mm:ss]");
    }
    return text;
}

Bytes with_bytes(Bytes b, std::size_t at, std::initializer_list<std::uint8_t> values)
{
    put_bytes(b, at, values);
    return b;
}

Bytes join_blocks(const std::vector<Bytes>& blocks)
{
    Bytes out;
    for (const Bytes& b : blocks)
        out.insert(out.end(), b.begin(), b.end());
    return out;
}

namespace {

std::uint8_t bcd(unsigned n)
{
    return static_cast<std::uint8_t>(((n / 10) << 4) | (n % 10));
}

Bytes dat_sector(std::uint32_t address, std::initializer_list<std::uint8_t> subheader)
{
    Bytes s(sector_bytes, 0);
    put_bytes(s, 0, {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00});
    // The minute is a plain number, second and frame are BCD.
    put_bytes(s, 12, {static_cast<std::uint8_t>(address / 4500), bcd((address / 75) % 60), bcd(address % 75), 0x02});
    put_bytes(s, 16, subheader);
    return s;
}

}  // namespace

Bytes empty_dat_sector(std::uint32_t address)
{
    Bytes s = dat_sector(address, {0x01, 0x00, 0x60, 0x00, 0x01, 0x00, 0x60, 0x00});
    put_bytes(s, 2348, {0xAF, 0x2B, 0x17, 0xD8});
    return s;
}

Bytes data_dat_sector(const Bytes& user_data, std::uint32_t address)
{
    Bytes s = dat_sector(address, {0x01, 0x01, 0x62, 0x0F, 0x01, 0x01, 0x62, 0x0F});
    std::copy_n(user_data.begin(), std::min(user_data.size(), block_size), s.begin() + 24);
    return s;
}

Bytes dat_from_blocks(const Bytes& user_data)
{
    Bytes out = dat_header_bytes;
    for (std::uint32_t j = 0; j < 30; ++j) {
        Bytes s = empty_dat_sector(612 + j);
        out.insert(out.end(), s.begin(), s.end());
    }
    for (std::size_t at = 0, k = 0; at + block_size <= user_data.size(); at += block_size, ++k) {
        Bytes s = data_dat_sector(slice(user_data, at, block_size), static_cast<std::uint32_t>(642 + k));
        out.insert(out.end(), s.begin(), s.end());
    }
    return out;
}
