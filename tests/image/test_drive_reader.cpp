// A drive's Mode 2 sectors seen as a raw image: the batches asked of it,
// the retries of a batch that failed, and what the bytes come to.
#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "bytes.h"
#include "harness.h"
#include "image/drive_reader.h"
#include "sector/msf.h"

namespace {

// A disc of `sectors` sectors whose Mode 2 bytes are made from their
// number; failures[lsn] counts the reads touching a sector that still fail
// (-1: all of them). Every call is logged as (lsn, count).
struct FakeDrive {
    std::uint32_t sectors;
    std::map<std::uint32_t, int> failures;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> calls;

    static std::uint8_t byte(std::uint32_t lsn, std::size_t i) { return static_cast<std::uint8_t>(lsn * 7 + i * 13 + i / 251); }

    Bytes raw(std::uint32_t lsn) const
    {
        Bytes s(2352);
        put_sector_header(s.data(), lsn);
        for (std::size_t i = 16; i < s.size(); ++i)
            s[i] = byte(lsn, i - 16);
        return s;
    }

    ByteSource source()
    {
        return drive_byte_source(
            [this](std::uint8_t* dst, std::uint32_t lsn, std::uint32_t count) {
                calls.emplace_back(lsn, count);
                bool ok = lsn + count <= sectors;
                for (std::uint32_t s = lsn; s < lsn + count; ++s)
                    if (auto f = failures.find(s); f != failures.end() && f->second != 0) {
                        f->second -= f->second > 0;
                        ok = false;
                    }
                for (std::uint32_t k = 0; ok && k < count; ++k)
                    for (std::size_t i = 0; i < 2336; ++i)
                        dst[k * 2336 + i] = byte(lsn + k, i);
                return ok;
            },
            sectors);
    }
};

Bytes read(ByteSource& src, std::uint64_t at, std::size_t n)
{
    Bytes out(n, 0xEE);
    out.resize(src(out.data(), n, at));
    return out;
}

}  // namespace

// Reads at odd places and lengths give the raw image byte for byte, in
// batches of at most 64 sectors that stop at the last sector asked for and
// at the disc's end.
TEST(DriveReader, BatchesGiveTheRawImage)
{
    FakeDrive drive{150, {}, {}};
    ByteSource src = drive.source();
    Bytes whole;
    for (std::uint32_t lsn = 0; lsn < 150; ++lsn)
        whole = concat({whole, drive.raw(lsn)});
    using Call = std::pair<std::uint32_t, std::uint32_t>;
    const std::vector<std::tuple<std::uint64_t, std::size_t, std::vector<Call>>> cases = {
        {0, 1, {{0, 1}}},
        {2350, 3, {{0, 2}}},
        {2352, 2352, {{1, 1}}},
        {2353, 2352, {{1, 2}}},
        {100, 70 * 2352, {{0, 64}, {64, 7}}},
        {140 * 2352 + 5, 100000, {{140, 10}}},
        {150 * 2352 - 1, 10, {{149, 1}}},
        {150 * 2352, 10, {}},
        {1u << 30, 10, {}},
    };
    for (const auto& [at, n, want] : cases) {
        drive.calls.clear();
        EXPECT_TRUE(same_bytes(read(src, at, n), slice(whole, at, n))) << at << " " << n;
        EXPECT_EQ(drive.calls, want) << at << " " << n;
    }
}

// A batch that fails is read again sector by sector, each sector getting
// three tries (sector 6 reads on its last); one that never reads comes out
// as zeros and is named once.
TEST(DriveReader, FailedBatchesAreRetriedPerSector)
{
    FakeDrive drive{100, {{5, 2}, {6, 3}, {70, -1}}, {}};
    ByteSource src = drive.source();
    testing::internal::CaptureStdout();
    Bytes got = read(src, 0, 100 * 2352);
    std::fflush(stdout);
    std::string said = testing::internal::GetCapturedStdout();
    Bytes want;
    for (std::uint32_t lsn = 0; lsn < 100; ++lsn)
        want = concat({want, lsn == 70 ? zeros(2352) : drive.raw(lsn)});
    EXPECT_TRUE(same_bytes(got, want));
    std::map<std::uint32_t, int> singles;
    for (const auto& [lsn, count] : drive.calls)
        if (count == 1)
            ++singles[lsn];
    EXPECT_EQ(drive.calls.front(), std::make_pair(0u, 64u));
    EXPECT_EQ(singles.size(), 100u);
    EXPECT_EQ(singles[5], 2);
    EXPECT_EQ(singles[6], 3);
    EXPECT_EQ(singles[70], 3);
    EXPECT_EQ(singles[0] + singles[63] + singles[64] + singles[99], 4);
    EXPECT_EQ(said, "\nDisc sector 70 could not be read in 3 tries: it is written as zeros.\n");
}
