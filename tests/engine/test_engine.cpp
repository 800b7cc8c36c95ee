// The scanner, the copy loops and the stream-start corrections, in-process
// on bytes in memory.
#include <gtest/gtest.h>

#include "engine/copy_engine.h"
#include "engine/corrections.h"
#include "engine/scanner.h"
#include "state/run_state.h"
#include "stream_fixtures.h"

namespace {

const Bytes pack = {0x00, 0x00, 0x01, 0xBA};
const Bytes end = {0x00, 0x00, 0x01, 0xB9};

Bytes with(Bytes b, std::size_t at, const Bytes& code)
{
    std::copy(code.begin(), code.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
    return b;
}

Bytes padded_stream(std::size_t n, unsigned first = 0)
{
    Bytes out;
    for (unsigned i = 0; i < n; ++i) {
        Bytes b = padded_block(first + i);
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

struct Shape {
    std::uint32_t sector = block_size, write = block_size;
    std::uint64_t from = 0;
    bool fix = false, bumper = false, keep_last = false;
    Framing framing = Framing::plain_bytes;
};

InProcess copy(const Bytes& in, Shape s)
{
    return in_process(in, [&] {
        io.sector_size = io.read_chunk = s.sector;
        io.write_chunk = s.write;
        settings.fix_blocks = s.fix || s.bumper;
        settings.remove_bumper = s.bumper;
        settings.input_pos = s.from;
        io.framing = s.framing;
        io.keep_last_block = s.keep_last;
        copy_stream(in.size());
    });
}

}  // namespace

TEST(Scanner, FindsTheFirstWholeOccurrence)
{
    const std::pair<Bytes, int> cases[] = {
        {{0, 0, 1, 0, 0, 1, 0xBA}, 3}, {{0, 0, 0, 1, 0xBA}, 1}, {{0, 0, 1, 0xB9, 0, 0, 1, 0xBA}, 4},
        {{1, 0xBA, 0, 0, 1, 0xBA}, 2}, {{0, 0, 1}, -1},          {{7, 0, 0, 1, 0xBA, 0, 0, 1, 0xBA}, 1},
    };
    for (const auto& [text, want] : cases)
        EXPECT_EQ(find_pattern(text.data(), pack.data(), static_cast<std::int32_t>(text.size()), 4), want);
}

// Whole 5000-byte blocks 4995 apart below the limit, a raw sector of room
// after a find, a percentage line per whole MiB.
TEST(Scanner, SearchesWholeBlocksBelowTheLimit)
{
    struct Case {
        std::size_t size, code_at;
        bool found;
        std::uint64_t pos;
        std::string out;
    } cases[] = {
        {4999, 0, false, 0, ""},
        {5000, 0, true, 0, "\xfe 0%\r"},
        {9995, 4997, true, 4997, "\xfe 0%\r"},
        {12000, 10000, false, 9990, "\xfe 0%\r"},
        {10000, 8000, false, 8000, "\xfe 0%\r"},
        {600000, 262142, true, 262142, "\xfe 0%\r"},
        {10 << 20, 0, false, 4995 * 2099, ""},
    };
    for (const Case& c : cases) {
        bool big = c.size == (10u << 20);
        Bytes in = big ? zeros(c.size) : with(filler(c.size), c.code_at, pack);
        bool found = false;
        std::uint64_t pos = 0;
        InProcess r = in_process(in, [&] {
            found = scan_for_pattern(pack.data(), in.size(), true);
            pos = settings.input_pos;
        });
        EXPECT_EQ(found, c.found) << c.size;
        EXPECT_EQ(pos, c.pos) << c.size;
        std::string lines = c.out;
        for (int p = 0; big && p <= 90; p += 10)
            lines += "\xfe " + std::to_string(p) + "%\r";
        EXPECT_EQ(r.out, lines);
    }
}

// -nobumper: the copy starts after the last end code with a pack after it.
TEST(Corrections, BumperPrescan)
{
    Bytes movie = padded_stream(6), bumper = padded_stream(2, 50);
    Bytes near_end = with(concat({movie, filler(1046)}), 12639, end);
    Bytes closed = with(movie, movie.size() - 4, end);
    const std::pair<Bytes, Bytes> cases[] = {
        {concat({bumper, end, movie}), movie},
        {concat({bumper, end, padded_stream(1, 60), end, movie}), movie},
        {concat({bumper, end, end, movie}), movie},
        {concat({bumper, end, closed}), closed},
        {near_end, slice(near_end, 0, movie.size())},
    };
    for (const auto& [in, want] : cases)
        EXPECT_TRUE(same_bytes(copy(in, {.bumper = true}).written, want));
}

// Only a block whose bytes 2, 3 and 4 all differ from 01 BA 21 is broken; the
// copy goes on at the next pack start code, or ends when there is none.
TEST(Corrections, RepairAndInitialSequence)
{
    Bytes head = padded_stream(1), tail = padded_stream(6, 10);
    const std::pair<Bytes, bool> cases[] = {
        {{0x01, 0xBA, 0x23}, false}, {{0x01, 0, 0}, false}, {{0, 0, 0x21}, false}, {{0, 0, 0}, true}};
    for (const auto& [bytes, broken] : cases) {
        Bytes block = with(padded_block(5), 2, bytes);
        InProcess r = copy(concat({head, block, tail}), {.fix = true});
        EXPECT_TRUE(same_bytes(r.written, broken ? concat({head, tail}) : concat({head, block, tail})));
    }
    Bytes late = concat({head, broken_block(1), filler(2600), padded_block(3)});
    EXPECT_TRUE(same_bytes(copy(late, {.fix = true}).written, head));
    InProcess r = copy(concat({mpeg_block(0), tail}), {.fix = true});
    Bytes sequence(initial_sequence.begin(), initial_sequence.end());
    EXPECT_TRUE(same_bytes(r.written, concat({sequence, mpeg_block(0), tail})));
}

// A pack header 24 bytes into a raw sector: the last sector's user data is
// taken on its own. A stream cut into blocks keeps its last short piece.
TEST(CopyEngine, LastSectorAndLastPiece)
{
    Bytes three = padded_stream(3), two = padded_stream(2), piece = slice(padded_block(9), 0, 100);
    Shape raw{.sector = sector_bytes, .from = 24};
    EXPECT_TRUE(same_bytes(copy(raw_track(three), raw).written, three));
    raw.fix = true;
    InProcess r = copy(raw_track(concat({two, broken_block(0)})), raw);
    EXPECT_TRUE(same_bytes(r.written, two));
    EXPECT_EQ(r.out, expect::copy0);
    EXPECT_TRUE(same_bytes(copy(concat({two, piece}), {.keep_last = true}).written, concat({two, piece})));
    EXPECT_TRUE(same_bytes(copy(concat({two, filler(100)}), {.fix = true, .keep_last = true}).written, two));
    Bytes dat = copy(concat({two, piece}), {.keep_last = true, .framing = Framing::mode2_sectors}).written;
    EXPECT_TRUE(same_bytes(slice(dat, 44 + 32 * sector_bytes + 24, block_size), concat({piece, zeros(2224)})));
    EXPECT_EQ(dat.size(), 44 + 33 * sector_bytes);
}

TEST(CopyEngine, Mode2SectorsAndTheirAddresses)
{
    Bytes dat = copy(padded_stream(3860), {.framing = Framing::mode2_sectors}).written;
    EXPECT_TRUE(same_bytes(slice(dat, 0, 44), dat_header_bytes));
    auto sector = [&](std::size_t k, std::size_t at, std::size_t n) { return slice(dat, 44 + k * sector_bytes + at, n); };
    EXPECT_EQ(sector(0, 0, 24), Bytes({0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 8, 0x12, 2,
                                       1, 0, 0x60, 0, 1, 0, 0x60, 0}));
    EXPECT_EQ(sector(0, 24, block_size), zeros(block_size));
    EXPECT_EQ(sector(0, 2348, 4), Bytes({0xAF, 0x2B, 0x17, 0xD8}));
    EXPECT_EQ(sector(29, 12, 4), Bytes({0, 8, 0x41, 2}));
    EXPECT_EQ(sector(30, 12, 12), Bytes({0, 8, 0x42, 2, 1, 1, 0x62, 0x0F, 1, 1, 0x62, 0x0F}));
    EXPECT_EQ(sector(30, 24, block_size), padded_block(0));
    EXPECT_EQ(sector(30, 2348, 4), zeros(4));
    const std::pair<std::size_t, Bytes> addresses[] = {
        {62, {0, 8, 0x74}}, {63, {0, 9, 0}}, {30 + 3858, {1, 0, 0}}, {30 + 3857, {0, 0x59, 0x74}}};
    for (const auto& [k, msf] : addresses)
        EXPECT_EQ(sector(k, 12, 3), msf) << k;
}

// The four packs and end codes, field by field as they stand on disc.
TEST(Corrections, InitialSequenceBytes)
{
    Bytes want(initial_sequence_size, 0xFF);
    const std::pair<std::size_t, Bytes> fields[] = {
        {0, {0, 0, 1, 0xBA, 0x21, 0, 1, 0, 9, 0x80, 0x1B, 0x91}},
        {12, {0, 0, 1, 0xBB, 0, 9, 0x80, 0x1B, 0x91, 1, 0xE1, 0xFF, 0xE0, 0xE0, 0x2E}},
        {27, {0, 0, 1, 0xBE, 0x08, 0xF3, 0x0F}},
        {2324, {0, 0, 1, 0xBA, 0x21, 0, 1, 0x09, 0x69, 0x80, 0x1B, 0x91}},
        {2336, {0, 0, 1, 0xBB, 0, 9, 0x80, 0x1B, 0x91, 5, 0xE0, 0xFF, 0xC0, 0xC0, 0x20}},
        {2351, {0, 0, 1, 0xBE, 0x08, 0xDF, 0x0F}},
        {4628, {0, 0, 1, 0xBA, 0x21, 0, 1, 0x12, 0xC9, 0x80, 0x1B, 0x91, 0, 0, 1, 0xBE, 0x08, 0xFE, 0xFF, 0x0F}},
        {6948, {0, 0, 1, 0xB9, 0, 0, 1, 0xBA, 0x21, 0, 1, 0x1C, 0x29, 0x80, 0x1B, 0x91, 0, 0, 1, 0xBE, 8, 0xEA, 0xFF, 0x0F}},
        {9252, {0, 0, 1, 0xB9}},
        {9256, zeros(40)},
    };
    for (const auto& [at, bytes] : fields)
        want = with(want, at, bytes);
    EXPECT_TRUE(same_bytes(Bytes(initial_sequence.begin(), initial_sequence.end()), want));
}
