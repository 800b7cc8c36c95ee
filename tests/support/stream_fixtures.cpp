#include "stream_fixtures.h"

#include <algorithm>
#include <cctype>

namespace expect {

std::string sizes(int read, int write)
{
    std::string lines;
    if (read)
        lines += "- User defined read sector size: " + std::to_string(read) + " bytes\n";
    if (write)
        lines += "- User defined write sector size: " + std::to_string(write) + " bytes\n";
    return lines;
}

std::string header(const std::string& mode, const std::string& input, const std::string& output,
                   const std::string& summary)
{
    std::string name = mode.substr(1);
    std::string source = name == "dat2mpg"   ? "VCD DAT source --> "
                         : name == "mpg2dat" ? "MPEG file source --> "
                                             : "RAW track image source --> ";
    std::string method = name == "mpg2dat" ? "Conversion method --> mpg2dat\n"
                                           : "Extraction method --> " +
                                                 (name.ends_with("dat") || name == "dat2mpg" ? name : "raw2mpg") + "\n";
    std::string destination = name.ends_with("dat") ? "VCD DAT destination --> " : "MPEG destination --> ";
    return source + input + "\n" + destination + output + "\n" + method + summary + "\n";
}

std::string converted(const std::string& mode, const std::string& input, const std::string& output,
                      const std::string& summary, const std::string& copy)
{
    return header(mode, input, output, summary) + searching + scan0 + writing + copy + completed(output);
}

}  // namespace expect

void check_run(const std::vector<std::string>& args, const std::string& in, const Bytes& input, int status,
               const std::string& after_banner, const std::string& out, const std::optional<Bytes>& want)
{
    Scratch s;
    s.write(in, input);
    RunResult r = s.run(args);
    EXPECT_EQ(r.status, status);
    EXPECT_EQ(r.out, banner + after_banner);
    EXPECT_EQ(s.exists(out), want.has_value()) << out;
    if (want && s.exists(out)) {
        EXPECT_TRUE(same_bytes(s.read(out), *want)) << out;
    }
}

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

Bytes padded_stream(std::size_t blocks, unsigned first_serial)
{
    Bytes out;
    for (std::size_t i = 0; i < blocks; ++i) {
        Bytes b = padded_block(first_serial + static_cast<unsigned>(i));
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

// 30 lead-in sectors at 00:08:12 to 00:08:41 with zero user data and a
// fixed EDC, then one data sector per block. The minute is a plain number,
// second and frame are BCD.
Bytes dat_from_blocks(const Bytes& user_data)
{
    auto bcd = [](unsigned n) { return static_cast<std::uint8_t>(((n / 10) << 4) | (n % 10)); };
    Bytes out = dat_header_bytes;
    for (std::uint32_t k = 0; k < 30 + user_data.size() / block_size; ++k) {
        std::uint32_t address = 612 + k;
        Bytes s(sector_bytes, 0);
        put_bytes(s, 0, {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00});
        put_bytes(s, 12, {static_cast<std::uint8_t>(address / 4500), bcd(address / 75 % 60), bcd(address % 75), 0x02});
        if (k < 30) {
            put_bytes(s, 16, {0x01, 0x00, 0x60, 0x00, 0x01, 0x00, 0x60, 0x00});
            put_bytes(s, 2348, {0xAF, 0x2B, 0x17, 0xD8});
        } else {
            put_bytes(s, 16, {0x01, 0x01, 0x62, 0x0F, 0x01, 0x01, 0x62, 0x0F});
            std::copy_n(user_data.begin() + (k - 30) * block_size, block_size, s.begin() + 24);
        }
        out.insert(out.end(), s.begin(), s.end());
    }
    return out;
}
