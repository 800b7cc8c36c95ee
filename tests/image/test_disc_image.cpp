// The one disc model: CUE sheets and their BINs laid out as runs and tracks,
// runs added within their file, sectors read back whole whatever size they
// are stored at, and the sector size a bare image's bytes show.
#include <gtest/gtest.h>

#include <algorithm>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <tuple>
#include <unistd.h>

#include "bytes.h"
#include "harness.h"
#include "image/bare_image.h"
#include "image/cue_image.h"
#include "io/report.h"
#include "sector/msf.h"

namespace {

// "first+count file@offset/size[+tail]" per run, then "track@lsn:mode".
std::string shape(const DiscImage& image)
{
    std::string out;
    for (const DiscRun& r : image.runs)
        out += formatted("%u+%u %u@%llu/%u%s ", r.first_lsn, r.sectors, unsigned{r.file},
                         static_cast<unsigned long long>(r.offset), r.sector_size,
                         r.tail_bytes ? formatted("+%u", r.tail_bytes).c_str() : "");
    for (const DiscTrack& t : image.tracks)
        out += formatted("%d@%u:%c ", t.number, t.first_lsn, "a12?"[static_cast<int>(t.mode)]);
    return out + formatted("= %u", image.sectors);
}

std::string sheet_shape(const std::string& text, std::vector<std::uint64_t> sizes)
{
    ParsedSheet sheet = parse_cue_sheet(text);
    std::vector<BinImage> bins;
    for (std::uint64_t size : sizes)
        bins.push_back({"b" + std::to_string(bins.size()), size});
    return sheet.error.empty() || sheet.one_track ? shape(image_of_sheet(sheet, bins)) : sheet.error;
}

constexpr std::uint64_t raw = 2352;

int preadv_calls = 0;

}  // namespace

// At most 3000 bytes a call, so that a call ends inside a piece.
extern "C" ssize_t preadv(int fd, const struct iovec* pieces, int count, off_t at)
{
    ++preadv_calls;
    std::vector<iovec> kept;
    for (std::size_t left = 3000; count > 0 && left > 0; ++pieces, --count) {
        kept.push_back({pieces->iov_base, std::min(left, pieces->iov_len)});
        left -= kept.back().iov_len;
    }
    return syscall(SYS_preadv, fd, kept.data(), kept.size(), static_cast<unsigned long>(at), 0ul);
}

TEST(DiscImage, SheetsBecomeRunsAndTracks)
{
    const std::string two = "FILE a BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\nTRACK 02 MODE2/2352\nINDEX 01 00:00:04\n";
    const std::vector<std::tuple<std::string, std::vector<std::uint64_t>, std::string>> cases = {
        // Stretches that go on where the one before ends make one run.
        {two, {9 * raw}, "0+9 0@0/2352 1@0:2 2@4:2 = 9"},
        {two, {9 * raw + 100}, "0+9 0@0/2352+100 1@0:2 2@4:2 = 9"},
        // A track past the end of a BIN cut short stays where the sheet puts it.
        {two, {3 * raw}, "0+3 0@0/2352 1@0:2 2@4:2 = 3"},
        {"FILE a BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\nFILE b BINARY\nTRACK 02 MODE2/2352\n"
         "INDEX 00 00:00:00\nINDEX 01 00:00:02\nFILE c BINARY\nTRACK 03 AUDIO\nINDEX 01 00:00:00\n",
         {4 * raw + 1, 5 * raw, 1},
         "0+4 0@0/2352+1 5+5 1@0/2352 10+0 2@0/2352+1 1@0:2 2@5:2 3@10:a = 10"},
        // A BIN without an entry of its own is read as the entry before it
        // says, or the one after.
        {"FILE a BINARY\nTRACK 01 MODE2/2336\nINDEX 01 00:00:00\nFILE b BINARY\n", {3 * 2336, 2 * 2336 + 8},
         "0+3 0@0/2336 3+2 1@0/2336+8 1@0:2 = 5"},
        {"FILE a BINARY\nFILE b BINARY\nTRACK 01 MODE2/2336\nINDEX 01 00:00:00\n", {3 * 2336, 2 * 2336 + 8},
         "0+3 0@0/2336 3+2 1@0/2336+8 1@0:2 = 5"},
        {"FILE a BINARY\nTRACK 01 MODE1/2048\nINDEX 01 00:00:00\nFILE b BINARY\nTRACK 02 MODE2/2352\nINDEX 01 00:00:00\n",
         {3 * 2048, 2 * raw}, "0+3 0@0/2048 3+2 1@0/2352 1@0:1 2@3:2 = 5"},
        {"FILE a BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 00 00:00:02\n"
         "INDEX 01 00:00:04\nFILE b BINARY\nTRACK 03 MODE2/2336\nINDEX 01 00:00:00\n",
         {5 * raw, 2336}, "0+5 0@0/2352 5+1 1@0/2336 1@0:1 2@2:a 3@5:2 = 6"},
        {"FILE a BINARY\nTRACK 01 MODE2/2352\n", {2 * raw}, "0+2 0@0/2352 1@0:2 = 2"},
        {two, {0}, "1@0:2 2@4:2 = 0"},
    };
    for (const auto& [text, sizes, want] : cases)
        EXPECT_EQ(sheet_shape(text, sizes), want) << text;
}

// A run lies inside its file, after the runs before it, below 4 GiB of raw
// sectors, and is of a stored size the program knows.
TEST(DiscImage, RunsStayInsideTheirFiles)
{
    constexpr std::uint32_t most = 0xFFFFFFFFu / 2352;
    DiscImage image;
    image.files = {{"f", 10 * raw, {}}, {"g", std::uint64_t{most} * 2048, {}}};
    const std::vector<std::tuple<std::uint16_t, std::uint32_t, std::uint32_t, std::uint64_t, std::uint32_t, bool>> adds = {
        {0, 0, 0, 11 * raw, 2352, false}, {0, 0, 0, 10 * raw, 2352, false}, {0, 0, 11, 0, 2352, false},
        {0, 0, 0, 0, 2340, false},        {0, 0, 4, raw, 2352, true},        {0, 3, 1, 0, 2352, false},
        {0, 4, 2, 0, 2336, true},         {0, 6, 0, 9 * raw, 2352, true},    {0, 9, 0, 10 * raw - 1, 2448, false},
        {0, 20, 0, 9 * raw - 2048, 2048, true}, {1, most - 3, 4, 0, 2048, false}, {1, most - 3, 3, 0, 2048, true},
        {1, most, 1, 0, 2048, false},
    };
    for (const auto& [file, first, count, offset, size, ok] : adds)
        EXPECT_EQ(add_image_run(image, file, first, count, offset, size), ok) << first << " " << count;
    EXPECT_EQ(shape(image), formatted("0+4 0@2352/2352 4+2 0@0/2336 6+1 0@21168/2352 20+2 0@19120/2048 %u+3 1@0/2048 = %u",
                                      most - 3, most));
    for (const auto& [lsn, run] : std::vector<std::pair<std::uint32_t, int>>{
             {0, 0}, {3, 0}, {4, 1}, {6, 2}, {7, -1}, {19, -1}, {20, 3}, {21, 3}, {22, -1}, {most - 1, 4}, {most, -1}})
        EXPECT_EQ(run_of(image, lsn), run < 0 ? nullptr : &image.runs[static_cast<std::size_t>(run)]) << lsn;

    TrackLayout layout{"", {{0, 10, 0, 2352}, {10, 2, 10 * raw + 1, 2336}}, {{1, 0, TrackMode::mode2}}, ""};
    DiscImage a{{{"d", 10 * raw + 2 * 2336, {}}}, {}, 0, {}};
    EXPECT_EQ(image_of_layout(a, layout), "the sectors it gives from disc sector 10 on lie outside d");
    layout.runs[1].offset = 10 * raw;
    EXPECT_EQ(image_of_layout(a = {{{"d", 10 * raw + 2 * 2336, {}}}, {}, 0, {}}, layout), "");
    EXPECT_EQ(shape(a), "0+10 0@0/2352 10+2 0@23520/2336 1@0:2 = 12");
    EXPECT_EQ(image_of_layout(a = {{{"d", 1, {}}}, {}, 0, {}}, {"", {}, {}, ""}), "it gives no sector");
    EXPECT_EQ(image_of_layout(a, {"", {}, {}, "bad"}), "bad");
}

// Every stored size reads back as the raw sector at its place: what the
// file left out is the sync and header of that place, and zeros.
TEST(DiscImage, SectorsReadBackRaw)
{
    auto raw_sector = [](std::uint32_t lsn) {
        Bytes s = filler(2352, lsn);
        put_sector_header(s.data(), lsn);
        return s;
    };
    Bytes file;
    for (std::uint32_t lsn = 0; lsn < 3; ++lsn)
        file = concat({file, slice(raw_sector(lsn), 16, 2336)});
    for (std::uint32_t lsn = 7; lsn < 9; ++lsn)
        file = concat({file, raw_sector(lsn), filler(96, 1)});
    file = concat({file, slice(raw_sector(9), 24, 2048), raw_sector(10)});
    Scratch s;
    s.write("image", file);
    for (bool from_file : {false, true}) {
        DiscImage image;
        image.files = {{from_file ? s.path("image").string() : "in memory", file.size(), nullptr}};
        if (!from_file)
            image.files[0].source = [&file](std::uint8_t* dst, std::size_t n, std::uint64_t at) {
                n = at < file.size() ? std::min<std::size_t>(n, file.size() - at) : 0;
                std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(at), n, dst);
                return n;
            };
        ASSERT_TRUE(add_image_run(image, 0, 0, 3, 0, 2336));
        ASSERT_TRUE(add_image_run(image, 0, 7, 2, 3 * 2336, 2448));
        ASSERT_TRUE(add_image_run(image, 0, 9, 1, 3 * 2336 + 2 * 2448, 2048));
        ASSERT_TRUE(add_image_run(image, 0, 10, 1, 3 * 2336 + 2 * 2448 + 2048, 2352));
        for (std::uint32_t lsn : {0u, 1u, 2u, 7u, 8u, 10u})
            EXPECT_TRUE(same_bytes(Bytes(read_disc_sector(image, lsn), read_disc_sector(image, lsn) + 2352), raw_sector(lsn)))
                << lsn;
        Bytes cooked = concat({slice(raw_sector(9), 0, 16), zeros(8), slice(raw_sector(9), 24, 2048), zeros(280)});
        EXPECT_TRUE(same_bytes(Bytes(read_disc_sector(image, 9), read_disc_sector(image, 9) + 2352), cooked));
        // Whole runs at once, straight into a buffer, read the same; from a
        // file, the kernel fills every piece in few calls however short it
        // cuts them.
        preadv_calls = 0;
        for (auto [first, count] : {std::pair{0u, 3u}, {1u, 2u}, {7u, 2u}, {9u, 1u}, {10u, 1u}}) {
            Bytes got(count * raw, 0xEE), want;
            read_disc_sectors(image, first, count, got.data());
            for (std::uint32_t lsn = first; lsn < first + count; ++lsn)
                want = concat({want, Bytes(read_disc_sector(image, lsn), read_disc_sector(image, lsn) + 2352)});
            EXPECT_TRUE(same_bytes(got, want)) << first << "+" << count << (from_file ? " from the file" : "");
        }
        EXPECT_EQ(preadv_calls > 0, from_file);
        EXPECT_LT(preadv_calls, 12);
        testing::internal::CaptureStdout();
        EXPECT_THROW(read_disc_sector(image, 5), RunEnd);
        Bytes room(3 * raw);
        EXPECT_THROW(read_disc_sectors(image, 7, 3, room.data()), RunEnd);  // past the run's end
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "Disc sector 5 lies outside the image.\nDisc sector 7 lies outside the image.\n");
        if (from_file) {
            // A file cut shorter than its runs say is a failed read.
            std::filesystem::resize_file(s.path("image"), 3 * 2336 + 2448 + 100);
            testing::internal::CaptureStdout();
            EXPECT_THROW(read_disc_sectors(image, 7, 2, room.data()), RunEnd);
            EXPECT_EQ(testing::internal::GetCapturedStdout(), s.path("image").string() + " could not be read.\n");
        }
    }
}

// Syncs at a stride show a raw image; the volume descriptor at sector 16
// shows the sizes that keep no sync, 2336 only where every subheader before
// it is two equal copies. Anything else is taken as raw.
TEST(DiscImage, BareImageSectorSizes)
{
    auto synced = [](std::size_t stride, std::size_t sectors, std::size_t size) {
        Bytes b(size, 0x55);
        for (std::size_t i = 0; i < sectors; ++i)
            std::copy(sync_pattern.begin(), sync_pattern.end(), b.begin() + static_cast<std::ptrdiff_t>(i * stride));
        return b;
    };
    // The descriptor's first bytes, as many as the size leaves room for.
    auto described = [](std::size_t at, std::size_t size) {
        Bytes b = concat({Bytes(at, 0), {1, 'C', 'D', '0', '0', '1'}, Bytes(size, 0)});
        b.resize(size);
        for (std::size_t s = 0; s < 16; ++s)
            for (std::size_t i : {0, 4})
                b[s * 2336 + i + 2] = 0x08;
        return b;
    };
    Bytes both_syncs = synced(2448, 18, 18 * 2448), described_raw = described(16 * 2048, 18 * 2448);
    for (std::size_t i = 0; i < 17; ++i) {
        std::copy(sync_pattern.begin(), sync_pattern.end(), both_syncs.begin() + static_cast<std::ptrdiff_t>(i * 2352));
        std::copy(sync_pattern.begin(), sync_pattern.end(), described_raw.begin() + static_cast<std::ptrdiff_t>(i * 2352));
    }
    Bytes form1_disagrees = described(16 * 2336 + 8, 17 * 2336);
    form1_disagrees[15 * 2336 + 6] = 0x09;
    Bytes late_disagreement = described(16 * 2336 + 8, 17 * 2336);
    late_disagreement[16 * 2336 + 6] = 0x09;
    const std::vector<std::pair<Bytes, std::uint32_t>> cases = {
        {synced(2352, 18, 18 * 2448), 2352},  {synced(2448, 18, 18 * 2448), 2448},
        {both_syncs, 2352},                   {described_raw, 2352},
        {synced(2448, 2, 2 * 2448), 2448},    {synced(2352, 1, 3000), 2352},
        {synced(2448, 17, 18 * 2448), 2448},  {synced(2448, 16, 18 * 2448), 2352},
        {described(16 * 2336 + 8, 16 * 2336 + 14), 2336},                {described(16 * 2336 + 8, 16 * 2336 + 13), 2352},
        {form1_disagrees, 2352},              {late_disagreement, 2336},
        {described(16 * 2048, 16 * 2048 + 6), 2048}, {described(16 * 2048 + 1, 18 * 2448), 2352},
        {Bytes(), 2352},                      {filler(18 * 2448), 2352},
    };
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(bare_sector_size(cases[i].first), cases[i].second) << i;
}
