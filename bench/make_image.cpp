// Writes a CUE/BIN pair of raw 2352-byte Mode 2 sectors for the benchmark,
// for machines without ffmpeg and vcdimager, and the image without any MPEG
// data that the failed-search row reads.
//
//   make_image mpeg  OUT.bin OUT.cue TRACKS SECTORS_PER_TRACK
//   make_image plain OUT.bin OUT.cue TRACKS SECTORS_PER_TRACK
//
// Both images open with a 300-sector data track (00:04:00), as a Video CD
// does. In "mpeg" the movie tracks carry one pack per sector (user data
// starting 00 00 01 BA 21); in "plain" every sector holds pseudo-random bytes
// in which no 0xBA occurs, so no pack start code can appear anywhere.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t sector_bytes = 2352;
constexpr std::size_t user_bytes = 2324;
constexpr std::uint32_t data_track_sectors = 300;
constexpr std::uint32_t pregap = 150;  // MSF addresses count from the disc's lead-in
constexpr std::size_t variants = 64;

std::uint8_t bcd(unsigned n)
{
    return static_cast<std::uint8_t>(((n / 10) << 4) | (n % 10));
}

struct Random {
    std::uint64_t state;
    std::uint8_t next()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<std::uint8_t>(state >> 24);
    }
};

std::vector<std::uint8_t> user_data(Random& rng, bool mpeg)
{
    std::vector<std::uint8_t> b(user_bytes);
    for (auto& byte : b) {
        byte = rng.next();
        if (byte == 0xBA)
            byte = 0xBB;
    }
    if (mpeg) {
        const std::uint8_t pack[] = {0x00, 0x00, 0x01, 0xBA, 0x21};
        std::memcpy(b.data(), pack, sizeof pack);
    }
    return b;
}

// The Form 2 EDC (ECMA-130's CRC over the subheader and user data), so that
// the sectors prove themselves as a real disc's do.
std::uint32_t form2_edc(const std::uint8_t* p, std::size_t n)
{
    static std::uint32_t table[256];
    if (table[1] == 0)
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t r = i;
            for (int k = 0; k < 8; ++k)
                r = (r >> 1) ^ (r & 1 ? 0xD8018001u : 0);
            table[i] = r;
        }
    std::uint32_t e = 0;
    for (std::size_t i = 0; i < n; ++i)
        e = table[(e ^ p[i]) & 0xFF] ^ (e >> 8);
    return e;
}

void frame_sector(std::uint8_t* s, const std::vector<std::uint8_t>& user, std::uint32_t lba)
{
    static const std::uint8_t sync[12] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    static const std::uint8_t subheader[8] = {0x01, 0x01, 0x62, 0x0F, 0x01, 0x01, 0x62, 0x0F};
    std::memcpy(s, sync, sizeof sync);
    std::uint32_t address = lba + pregap;
    s[12] = bcd(address / 4500);
    s[13] = bcd((address / 75) % 60);
    s[14] = bcd(address % 75);
    s[15] = 0x02;
    std::memcpy(s + 16, subheader, sizeof subheader);
    std::memcpy(s + 24, user.data(), user_bytes);
    std::uint32_t edc = form2_edc(s + 16, 8 + user_bytes);
    for (int i = 0; i < 4; ++i)
        s[24 + user_bytes + i] = static_cast<std::uint8_t>(edc >> (8 * i));
}

std::string base_name(const std::string& path)
{
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 6 || (std::strcmp(argv[1], "mpeg") != 0 && std::strcmp(argv[1], "plain") != 0)) {
        std::fprintf(stderr, "usage: %s mpeg|plain OUT.bin OUT.cue TRACKS SECTORS_PER_TRACK\n", argv[0]);
        return 2;
    }
    bool mpeg = std::strcmp(argv[1], "mpeg") == 0;
    std::string bin_path = argv[2];
    std::string cue_path = argv[3];
    long tracks = std::strtol(argv[4], nullptr, 10);
    long per_track = std::strtol(argv[5], nullptr, 10);
    if (tracks < 1 || tracks > 90 || per_track < 10) {
        std::fprintf(stderr, "bad track count or length\n");
        return 2;
    }

    Random rng{mpeg ? 0x9E3779B97F4A7C15ull : 0xD1B54A32D192ED03ull};
    std::vector<std::vector<std::uint8_t>> data_blocks, movie_blocks;
    for (std::size_t i = 0; i < variants; ++i) {
        data_blocks.push_back(user_data(rng, false));
        movie_blocks.push_back(user_data(rng, mpeg));
    }

    std::FILE* bin = std::fopen(bin_path.c_str(), "wb");
    std::FILE* cue = std::fopen(cue_path.c_str(), "w");
    if (!bin || !cue) {
        std::perror("make_image");
        return 1;
    }
    std::fprintf(cue, "FILE \"%s\" BINARY\n", base_name(bin_path).c_str());

    constexpr std::size_t batch = 512;
    std::vector<std::uint8_t> out(batch * sector_bytes);
    std::size_t filled = 0;
    std::uint32_t lba = 0;
    auto emit = [&](const std::vector<std::uint8_t>& user) {
        frame_sector(out.data() + filled * sector_bytes, user, lba++);
        if (++filled == batch) {
            if (std::fwrite(out.data(), out.size(), 1, bin) != 1) {
                std::perror("make_image");
                std::exit(1);
            }
            filled = 0;
        }
    };

    for (long t = 0; t <= tracks; ++t) {
        std::fprintf(cue, "  TRACK %02ld MODE2/2352\n    INDEX 01 %02u:%02u:%02u\n", t + 1, lba / 4500,
                     (lba / 75) % 60, lba % 75);
        bool data_track = t == 0;
        std::uint32_t count = data_track ? data_track_sectors : static_cast<std::uint32_t>(per_track);
        for (std::uint32_t i = 0; i < count; ++i)
            emit(data_track ? data_blocks[i % variants] : movie_blocks[(i + t) % variants]);
    }
    if (filled && std::fwrite(out.data(), filled * sector_bytes, 1, bin) != 1) {
        std::perror("make_image");
        return 1;
    }
    if (std::fclose(bin) != 0 || std::fclose(cue) != 0) {
        std::perror("make_image");
        return 1;
    }
    return 0;
}
