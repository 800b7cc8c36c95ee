#include <gtest/gtest.h>

#include <random>

#include "engine/scanner.h"
#include "fixtures.h"
#include "harness.h"
#include "state/run_state.h"
#include "stream_fixtures.h"

namespace {

const Bytes pack = {0x00, 0x00, 0x01, 0xBA};
const Bytes end = {0x00, 0x00, 0x01, 0xB9};

std::int32_t find_in(const Bytes& text, const Bytes& pattern)
{
    return find_pattern(text.data(), pattern.data(), static_cast<std::int32_t>(text.size()), 4);
}

std::int32_t naive_find(const Bytes& text, const Bytes& pattern)
{
    for (std::size_t i = 0; i + pattern.size() <= text.size(); ++i)
        if (std::equal(pattern.begin(), pattern.end(), text.begin() + static_cast<std::ptrdiff_t>(i)))
            return static_cast<std::int32_t>(i);
    return -1;
}

TEST(FindPattern, ReturnsFirstWholeOccurrence)
{
    struct Case {
        Bytes text;
        const Bytes& pattern;
        std::int32_t want;
    };
    const Case cases[] = {
        {{0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0xBA}, pack, 3},
        {{0x00, 0x00, 0x00, 0x01, 0xBA}, pack, 1},
        {{0x00, 0x00, 0x01, 0xB9, 0x00, 0x00, 0x01, 0xBA}, pack, 4},
        {{0x00, 0x00, 0x01, 0xB9, 0x00, 0x00, 0x01, 0xBA}, end, 0},
        {{0x01, 0xBA, 0x00, 0x00, 0x01, 0xBA}, pack, 2},
        {{0x00, 0x00, 0x01, 0xBA, 0x00, 0x00, 0x01, 0xBA}, pack, 0},
        {{0x01, 0x01, 0x01, 0x00, 0x00, 0x01, 0xBA, 0x01}, pack, 3},
        {{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0xBA}, pack, 5},
        {{0xBA, 0xBA, 0x01, 0xBA, 0x00, 0x01, 0xBA, 0x00, 0x00, 0x01, 0xBA}, pack, 7},
        {{0x00, 0x00, 0x01, 0xB9, 0xBA, 0x00, 0x01, 0xBA}, pack, -1},
        {{0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, pack, -1},
        {{0x00, 0x01, 0xBA}, pack, -1},
        {{}, pack, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(find_in(c.text, c.pattern), c.want) << "text of " << c.text.size() << " bytes";
}

TEST(FindPattern, NeverLooksPastTheText)
{
    // The bytes after text_len would complete a code: it must not count.
    const Bytes memory = {0xAA, 0x00, 0x00, 0x01, 0xBA, 0x21};
    for (std::int32_t len = 0; len <= 4; ++len)
        EXPECT_EQ(find_pattern(memory.data(), pack.data(), len, 4), -1) << "text_len " << len;
    EXPECT_EQ(find_pattern(memory.data(), pack.data(), 5, 4), 1);
    const Bytes ends_cut = {0x00, 0x00, 0x01, 0xB9, 0x00, 0x00, 0x01, 0xBA};
    EXPECT_EQ(find_pattern(ends_cut.data(), pack.data(), 7, 4), -1);
}

// Texts made only of the bytes the skip rule treats specially.
TEST(FindPattern, AgreesWithNaiveSearchOnRandomTexts)
{
    std::mt19937 rng(20240607);
    const std::uint8_t alphabet[] = {0x00, 0x01, 0xBA, 0xB9};
    for (int round = 0; round < 20000; ++round) {
        Bytes text(rng() % 40);
        for (auto& b : text)
            b = alphabet[rng() % (round % 2 ? 4 : 3)];
        for (const Bytes* pattern : {&pack, &end}) {
            // An exact-size heap copy lets a sanitizer see reads past the end.
            std::vector<std::uint8_t> exact(text);
            ASSERT_EQ(find_pattern(exact.data(), pattern->data(), static_cast<std::int32_t>(exact.size()), 4),
                      naive_find(text, *pattern))
                << "round " << round;
        }
    }
}

// scan_for_pattern in-process on a file: where it leaves input_pos.
class ScanForPattern : public ::testing::Test {
protected:
    void SetUp() override { reset_run_state(); }
    void TearDown() override { reset_run_state(); }

    bool scan(const Bytes& file, std::uint64_t start, std::uint64_t limit, bool progress = false)
    {
        s.write("in.bin", file);
        EXPECT_TRUE(io.input_file.open(s.path("in.bin").string()));
        settings.input_pos = start;
        io.input_file.seek(start);
        return scan_for_pattern(pack.data(), limit, progress);
    }
    Scratch s;
};

TEST_F(ScanForPattern, LeavesInputPosWhereTheRulesSay)
{
    struct Case {
        const char* name;
        std::size_t code_at;  // SIZE_MAX: no code
        std::size_t file_size;
        std::uint64_t start;
        bool found;
        std::uint64_t pos_after;
    };
    constexpr std::size_t none = SIZE_MAX;
    const Case cases[] = {
        {"code at 0", 0, 5000, 0, true, 0},
        {"shorter than a block", 0, 4999, 0, false, 0},
        {"cut by the first block's end", 4997, 9995, 0, true, 4997},
        {"last byte inside the first block", 4996, 9995, 0, true, 4996},
        {"only after the last whole block", 9996, 12400, 0, false, 9990},
        {"less than a sector before limit", 7700, 10051, 0, false, 7700},
        {"exactly a sector before limit", 7700, 10052, 0, true, 7700},
        {"before the start position", 10, 20000, 100, false, 100 + 4995 * 3},
        {"no code at all", none, 20000, 0, false, 4995 * 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = filler(c.file_size);
        if (c.code_at != none)
            put_bytes(file, c.code_at, {0x00, 0x00, 0x01, 0xBA});
        EXPECT_EQ(scan(file, c.start, file.size()), c.found);
        EXPECT_EQ(settings.input_pos, c.pos_after);
        io.input_file.reset();
    }
}

TEST_F(ScanForPattern, PrintsOneLinePerTenthOfTenMiB)
{
    testing::internal::CaptureStdout();
    bool found = scan(zeros(10u << 20), 0, 10u << 20, true);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(found);
    std::string want;
    for (int p = 0; p <= 90; p += 10)
        want += "\xfe " + std::to_string(p) + "%\r";
    EXPECT_EQ(out, want);
}

// End to end: the copy starts wherever the scanner stopped, so the output
// shows the offset it found.
TEST(ScannerEndToEnd, FirstPackHeaderWhereverItLies)
{
    Bytes stream = mpeg_stream(4);
    struct Case {
        const char* mode;
        const char* method;
        Bytes input;
        const char* summary;
        std::size_t blocks;  // a sector read from 24 bytes into the last one does not fit
    };
    const std::string sizes = expect::read_size_line(2324) + expect::write_size_line(2324);
    const Case cases[] = {
        {"-mpg2mpg", "raw2mpg", stream, "mpg", 4},                          // offset 0
        {"-raw2mpg", "raw2mpg", raw_track(stream), "", 3},                   // offset 24
        {"-dat2mpg", "dat2mpg", dat_file(raw_track(stream)), "", 3},         // offset 68
        {"-mpg2mpg", "raw2mpg", concat({filler(4997), stream}), "mpg", 4},  // cut by block end
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + " " + std::to_string(c.input.size()));
        Scratch s;
        s.write("in.x", c.input);
        RunResult r = s.run({c.mode, "in.x", "out.mpg"});
        std::string summary = std::string(c.summary) == "mpg" ? sizes : "";
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, banner + expect::header(c.method, "in.x", "out.mpg", summary) + expect::searching +
                             expect::scan0 + expect::writing + expect::copy0 + expect::completed("out.mpg"));
        EXPECT_TRUE(same_bytes(s.read("out.mpg"), slice(stream, 0, c.blocks * block_size)));
    }
}

TEST(ScannerEndToEnd, CodesTheScannerMayNotReportMeanNoStream)
{
    struct Case {
        const char* name;
        std::size_t code_at;
        std::size_t size;
        bool reads_a_block;
    };
    const Case cases[] = {
        {"input shorter than one block", 0, 4999, false},
        {"code after the last whole block", 9996, 12400, true},
        {"code 2351 bytes before the end", 7700, 10051, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scratch s;
        Bytes in = with_bytes(filler(c.size), c.code_at, {0x00, 0x00, 0x01, 0xBA, 0x21});
        s.write("in.raw", in);
        RunResult r = s.run({"-raw2mpg", "in.raw", "out.mpg"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, banner + expect::header("raw2mpg", "in.raw", "out.mpg") + expect::searching +
                             (c.reads_a_block ? expect::scan0 : "") +
                             "\n\nCould not find MPEG stream in raw image file.\n");
        EXPECT_FALSE(s.exists("out.mpg"));
    }
}

}  // namespace
