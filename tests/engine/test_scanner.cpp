#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "engine/scanner.h"
#include "state/run_state.h"
#include "stream_fixtures.h"

namespace {

const Bytes pack = {0x00, 0x00, 0x01, 0xBA};
const Bytes end = {0x00, 0x00, 0x01, 0xB9};

TEST(FindPattern, FirstOccurrenceWhollyInsideTheText)
{
    struct Case {
        Bytes memory;
        std::int32_t text_len;  // shorter than memory: the bytes after it must not count
        std::int32_t want;
    };
    const Case cases[] = {
        {{0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0xBA}, 7, 3},
        {{0x00, 0x00, 0x00, 0x01, 0xBA}, 5, 1},
        {{0x00, 0x00, 0x01, 0xB9, 0x00, 0x00, 0x01, 0xBA}, 8, 4},
        {{0x01, 0xBA, 0x00, 0x00, 0x01, 0xBA}, 6, 2},
        {{0xAA, 0x00, 0x00, 0x01, 0xBA}, 4, -1},
        {{0x00, 0x00, 0x01, 0xBA}, 3, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(find_pattern(c.memory.data(), pack.data(), c.text_len, 4), c.want) << "text_len " << c.text_len;
}

// Texts made only of the bytes the skip rule treats specially, each in an
// exact-size heap copy so that a sanitizer sees any read past its end.
TEST(FindPattern, AgreesWithNaiveSearchOnRandomTexts)
{
    std::mt19937 rng(20240607);
    const std::uint8_t alphabet[] = {0x00, 0x01, 0xBA, 0xB9};
    for (int round = 0; round < 20000; ++round) {
        Bytes text(rng() % 40);
        for (auto& b : text)
            b = alphabet[rng() % 4];
        for (const Bytes* pattern : {&pack, &end}) {
            auto naive = std::search(text.begin(), text.end(), pattern->begin(), pattern->end());
            std::int32_t want = naive == text.end() ? -1 : static_cast<std::int32_t>(naive - text.begin());
            ASSERT_EQ(find_pattern(text.data(), pattern->data(), static_cast<std::int32_t>(text.size()), 4), want)
                << "round " << round;
        }
    }
}

// In-process on a file of its own, the limit at its end.
bool scan(const Scratch& s, const Bytes& file, std::uint64_t start, bool progress = false)
{
    reset_run_state();
    s.write("in.bin", file);
    EXPECT_TRUE(io.input_file.open(s.path("in.bin").string()));
    settings.input_pos = start;
    io.input_file.seek(start);
    return scan_for_pattern(pack.data(), file.size(), progress);
}

// 5000-byte blocks every 4995 bytes, a find only with a sector of room
// before the limit (the file size here).
TEST(ScanForPattern, LeavesInputPosWhereTheRulesSay)
{
    Scratch s;
    struct Case {
        const char* name;
        std::size_t code_at;  // SIZE_MAX: no code
        std::size_t file_size;
        std::uint64_t start;
        bool found;
        std::uint64_t pos_after;
    };
    const Case cases[] = {
        {"code at 0", 0, 5000, 0, true, 0},
        {"shorter than a block", 0, 4999, 0, false, 0},
        {"cut by the first block's end", 4997, 9995, 0, true, 4997},
        {"only after the last whole block", 9996, 12400, 0, false, 9990},
        {"less than a sector before the limit", 7700, 10051, 0, false, 7700},
        {"exactly a sector before the limit", 7700, 10052, 0, true, 7700},
        {"before the start position", 10, 20000, 100, false, 100 + 4995 * 3},
        {"no code at all", SIZE_MAX, 20000, 0, false, 4995 * 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = filler(c.file_size);
        if (c.code_at != SIZE_MAX)
            put_bytes(file, c.code_at, {0x00, 0x00, 0x01, 0xBA});
        EXPECT_EQ(scan(s, file, c.start), c.found);
        EXPECT_EQ(settings.input_pos, c.pos_after);
    }
    reset_run_state();
}

TEST(ScanForPattern, PrintsOneLinePerTenthOfTenMiB)
{
    Scratch s;
    testing::internal::CaptureStdout();
    bool found = scan(s, zeros(10u << 20), 0, true);
    std::string out = testing::internal::GetCapturedStdout();
    reset_run_state();
    EXPECT_FALSE(found);
    std::string want;
    for (int p = 0; p <= 90; p += 10)
        want += "\xfe " + std::to_string(p) + "%\r";
    EXPECT_EQ(out, want);
}

}  // namespace
