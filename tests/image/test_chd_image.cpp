// CHD images: a disc of every sector kind a CHD keeps (Mode 1, Form 1 and
// Form 2, audio, 2336- and 2048-byte tracks, a stored pregap) made into CHDs
// by chdman with each codec and hunk size reads back sector for sector as
// its CUE/BIN; zstd hunks, which this chdman cannot write, are made here; a
// damaged hunk is named, and cut, older and parent-needing CHDs are refused.
#include <gtest/gtest.h>
#include <zstd.h>

#include <cstring>

#include "bytes.h"
#include "harness.h"
#include "image/chd_format.h"
#include "image/chd_hunks.h"
#include "image/image_formats.h"
#include "sector/edc.h"
#include "sector/msf.h"
#include "sector/sector_check.h"

namespace {

// kind: 1 Mode 1, 2 Form 1, 3 Form 2, anything else audio; every one whole.
Bytes sector(std::uint32_t lsn, int kind)
{
    Bytes s(2352);
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<std::uint8_t>(lsn * 31 + i * 7 + i / 97);
    if (kind < 1 || kind > 3)
        return s;
    put_sector_header(s.data(), lsn);
    s[15] = kind == 1 ? 1 : 2;
    const std::uint8_t sub[4] = {0, 0, static_cast<std::uint8_t>(kind == 3 ? 0x20 : 0x08), 0};
    for (int copy = 0; kind > 1 && copy < 2; ++copy)
        std::memcpy(s.data() + 16 + 4 * copy, sub, 4);
    const std::size_t from = kind == 1 ? 0 : 16, edc_at = kind == 1 ? 2064 : kind == 2 ? 2072 : 2348;
    std::uint32_t edc = edc_update(0, {s.data() + from, edc_at - from});
    for (int i = 0; i < 4; ++i)
        s[edc_at + i] = static_cast<std::uint8_t>(edc >> (8 * i));
    if (kind == 1)
        std::fill_n(s.begin() + 2068, 8, 0);
    if (kind < 3)
        put_form1_parity(std::span<std::uint8_t, 2352>(s.data(), 2352));
    EXPECT_EQ(check_sector(std::span<const std::uint8_t, 2352>(s.data(), 2352), lsn), 0) << lsn;
    return s;
}

bool have_chdman()
{
    return std::system("command -v chdman >/dev/null 2>&1") == 0;
}

// The discs: d.cue holds Mode 1, Mode 2 with a pregap of 10 in the BIN,
// and audio that ends in silence (hunks stored as copies of another); e.cue
// a 2336-byte and f.cue a 2048-byte track.
void write_discs(const Scratch& dir)
{
    Bytes raw, cut36, cut48;
    for (std::uint32_t lsn = 0; lsn < 95; ++lsn) {
        raw = concat({raw, lsn < 72 ? sector(lsn, lsn < 20 ? 1 : lsn < 60 ? 2 + lsn % 2 : 0) : Bytes(2352)});
        cut36 = concat({cut36, slice(sector(lsn, 2 + lsn % 2), 16, 2336)});
        cut48 = concat({cut48, slice(sector(lsn, 1), 16, 2048)});
    }
    dir.write("d.bin", raw);
    dir.write("e.bin", cut36);
    dir.write("f.bin", cut48);
    for (std::string cue : {"FILE \"d.bin\" BINARY\n TRACK 01 MODE1/2352\n  INDEX 01 00:00:00\n"
                            " TRACK 02 MODE2/2352\n  INDEX 00 00:00:20\n  INDEX 01 00:00:30\n"
                            " TRACK 03 AUDIO\n  INDEX 01 00:00:60\n",
                            "FILE \"e.bin\" BINARY\n TRACK 01 MODE2/2336\n  INDEX 01 00:00:00\n",
                            "FILE \"f.bin\" BINARY\n TRACK 01 MODE1/2048\n  INDEX 01 00:00:00\n"})
        dir.write(cue.substr(6, 1) + ".cue", Bytes(cue.begin(), cue.end()));
}

TEST(ChdImage, EveryCodecAndHunkSizeReadsAsTheCueBin)
{
    if (!have_chdman())
        GTEST_SKIP() << "chdman is not installed";
    Scratch dir;
    write_discs(dir);
    const std::vector<std::vector<std::string>> options = {{"d"}, {"d", "-c", "cdlz"}, {"d", "-c", "cdzl"},
                                                           {"d", "-c", "cdfl"}, {"d", "-c", "none"},
                                                           {"d", "-hs", "4896"}, {"e"}, {"f"}};
    for (const auto& extra : options) {
        DiscImage cue = open_disc_image(dir.path(extra[0] + ".cue").string());
        std::vector<std::string> args = {"chdman", "createcd", "-i", extra[0] + ".cue", "-o", "d.chd", "-f"};
        args.insert(args.end(), extra.begin() + 1, extra.end());
        ASSERT_EQ(run_program_in(dir.dir(), args).status, 0);
        DiscImage chd = open_disc_image(dir.path("d.chd").string());
        ASSERT_EQ(chd.sectors, cue.sectors);
        ASSERT_EQ(chd.tracks.size(), cue.tracks.size());
        for (std::size_t t = 0; t < cue.tracks.size(); ++t)
            EXPECT_EQ(std::tie(chd.tracks[t].first_lsn, chd.tracks[t].mode),
                      std::tie(cue.tracks[t].first_lsn, cue.tracks[t].mode));
        for (std::uint32_t lsn = 0; lsn < cue.sectors; ++lsn) {
            Bytes want(read_disc_sector(cue, lsn), read_disc_sector(cue, lsn) + 2352);
            EXPECT_EQ(run_of(chd, lsn)->sector_size, run_of(cue, lsn)->sector_size);
            ASSERT_TRUE(same_bytes(Bytes(read_disc_sector(chd, lsn), read_disc_sector(chd, lsn) + 2352), want))
                << extra.back() << " " << lsn;
        }
    }
    // Known by its content whatever its name.
    std::filesystem::rename(dir.path("d.chd"), dir.path("disc"));
    EXPECT_EQ(open_disc_image(dir.path("disc").string()).sectors, 95u);
}

TEST(ChdImage, ZstdHunksDecodeWithTheirStrippedSectorsRebuilt)
{
    constexpr std::uint32_t frames = 8, hunk = frames * 2448;
    Bytes want, sectors, subchannel;
    std::uint8_t marks = 0;
    for (std::uint32_t f = 0; f < frames; ++f) {
        Bytes s = sector(f, f % 4);
        want = concat({want, s, Bytes(96, static_cast<std::uint8_t>(f))});
        if (f % 4 == 1 || f % 4 == 2) {  // what the writer strips where the parity rebuilds it
            marks |= static_cast<std::uint8_t>(1 << f);
            std::fill_n(s.begin(), 12, 0);
            std::fill(s.begin() + 2076, s.end(), 0);
        }
        sectors = concat({sectors, s});
        subchannel = concat({subchannel, Bytes(96, static_cast<std::uint8_t>(f))});
    }
    auto pack = [](const Bytes& b) {
        Bytes out(ZSTD_compressBound(b.size()));
        out.resize(ZSTD_compress(out.data(), out.size(), b.data(), b.size(), 3));
        return out;
    };
    Bytes first = pack(sectors);
    Bytes stored = concat({{marks, static_cast<std::uint8_t>(first.size() >> 8), static_cast<std::uint8_t>(first.size())},
                           first, pack(subchannel)});
    HunkDecodersPtr decoders = make_hunk_decoders(hunk);
    Bytes got(hunk);
    ASSERT_TRUE(decode_cd_hunk(*decoders, chd_codec_tag("cdzs"), stored, got));
    EXPECT_TRUE(same_bytes(got, want));
    stored[stored.size() / 2] ^= 0x10;
    EXPECT_TRUE(!decode_cd_hunk(*decoders, chd_codec_tag("cdzs"), stored, got) || chd_crc16(got) != chd_crc16(want));
}

// One hunk of 8 frames kept by codec 0: the map's code gives codec 0 the
// one-bit code 0 and no other symbol a code, then the hunk's entry is that
// bit, its length in 16 bits (the low one is bit 3 of the coded fifth byte)
// and its CRC. Then a header that cannot be read.
TEST(ChdImage, OverlongHunksAndUnreadableHeadersAreRefused)
{
    ChdHeader header;
    header.codecs[0] = chd_codec_tag("cdzs");
    header.hunk_bytes = 8 * chd_frame_size;
    header.hunks = 1;
    for (std::uint8_t low : {0x80, 0x81}) {  // 19584 bytes, then one more
        Bytes entry = {0, 0, 0x4c, low, 0, 0, 0, 0, 1, 0, 0, 0};
        std::uint16_t crc = chd_crc16(entry);
        Bytes map = concat({{0, 0, 0, 7, 0, 0, 0, 0, 1, 0, static_cast<std::uint8_t>(crc >> 8),
                             static_cast<std::uint8_t>(crc), 16, 0, 0, 0},
                            {0x11, 0x10, 0xc2, 0x64, static_cast<std::uint8_t>((low & 1) << 3), 0, 0}});
        std::vector<HunkEntry> entries;
        EXPECT_EQ(parse_chd_map(map, header, 1 << 20, entries), low == 0x80 ? "" : "hunk 0 is stored at the wrong length");
    }
    // sysfs gives its files a size of 4096 bytes whatever they hold.
    const char* short_file = "/sys/devices/system/cpu/online";
    if (!std::filesystem::exists(short_file))
        return;
    Scratch dir;
    std::filesystem::create_symlink(short_file, dir.path("s.chd"));
    RunResult run = run_program_in(dir.dir(), {mivaro_path(), "-verify", "s.chd"});
    EXPECT_NE(run.out.find("s.chd could not be read as a CHD: it could not be read."), std::string::npos) << run.out;
}

TEST(ChdImage, DamagedHunksAreNamedAndBrokenFilesRefused)
{
    if (!have_chdman())
        GTEST_SKIP() << "chdman is not installed";
    Scratch dir;
    write_discs(dir);
    ASSERT_EQ(run_program_in(dir.dir(), {"chdman", "createcd", "-i", "d.cue", "-o", "d.chd"}).status, 0);
    const Bytes good = dir.read("d.chd");
    ChdHeader header;
    std::vector<HunkEntry> map;
    ASSERT_EQ(parse_chd_header(good, good.size(), header), "");
    ASSERT_EQ(parse_chd_map(std::span(good).subspan(header.map_offset), header, good.size(), map), "");
    // Hunk 3 holds frames 24 to 31: disc sectors 24 to 31, 00:02:24 to 00:02:31.
    ASSERT_NE(map[3].store, HunkStore::copy);
    struct Case {
        std::size_t at, cut;
        std::uint8_t flip;
        const char* said;
    };
    const Case cases[] = {
        {static_cast<std::size_t>(map[3].offset + map[3].length / 2), good.size(), 0x55,
         "00:02:24 to 00:02:31: hunk 3: "},
        {15, good.size(), 5 ^ 4, "d.chd could not be read as a CHD: it is a version 4 CHD; only version 5 is read."},
        {110, good.size(), 1, "d.chd could not be read as a CHD: it needs a parent CHD."},
        {0, good.size() * 2 / 3, 0, "d.chd could not be read as a CHD: its hunk map lies past its end."},
    };
    for (const Case& c : cases) {
        Bytes bad = slice(good, 0, c.cut);
        bad[c.at] ^= c.flip;
        dir.write("d.chd", bad);
        RunResult run = run_program_in(dir.dir(), {mivaro_path(), "-verify", "d.chd"});
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.out.find(c.said), std::string::npos) << run.out;
    }
}

}  // namespace
