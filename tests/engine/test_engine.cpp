// The reader, the scanner, the copy loops, the stream-start corrections and
// Mode 2 framing, in-process on bytes in memory.
#include <gtest/gtest.h>

#include "engine/copy_engine.h"
#include "engine/corrections.h"
#include "engine/mode2.h"
#include "engine/scanner.h"
#include "run/run_state.h"
#include "stream_fixtures.h"

namespace {

const Bytes pack = hex("000001BA"), end = hex("000001B9");

Bytes with(Bytes b, std::size_t at, const Bytes& code)
{
    std::copy(code.begin(), code.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
    return b;
}

struct Shape {
    std::uint32_t sector = block_size;
    std::uint64_t from = 0;
    bool fix = false, bumper = false, keep_last = false, exact = false;
    Framing framing = Framing::plain_bytes;
};

InProcess copy(const Bytes& in, Shape s)
{
    return in_process(in, [&] {
        CopyPlan plan{io.input_file, io.output_file, s.sector, s.sector, std::min<std::uint32_t>(s.sector, block_size),
                      s.framing, s.exact, s.keep_last};
        if (s.exact)
            plan.read_chunk = plan.write_chunk = multi_sector_chunk(s.sector);
        settings.fix_blocks = s.fix || s.bumper;
        settings.remove_bumper = s.bumper;
        settings.input_pos = s.from;
        copy_stream(plan, in.size());
    });
}

}  // namespace

TEST(BlockReader, ViewsAcrossRefillsHoldTheInputsBytes)
{
    std::array<std::uint8_t, 7> buffer{};
    BlockReader reader(buffer);
    Bytes data = filler(40);
    reader.open_memory(data, "m");
    for (std::size_t i = 0; i < 2 * 42 * 9; ++i) {
        std::size_t pos = i < 42 * 9 ? i / 9 : 83 - i / 9, n = i % 9;
        auto got = reader.view(pos, n);
        EXPECT_EQ(Bytes(got.begin(), got.end()), slice(data, pos, std::min<std::size_t>(n, 7))) << pos << " " << n;
    }
    // An input shorter than the copy was told: the read fails.
    InProcess r = in_process(concat({padded_block(0), padded_block(1), filler(100)}), [] {
        io.sector_size = io.read_chunk = io.write_chunk = block_size;
        copy_stream(4 * block_size);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "\xfe 0% [00:00:00] \rin could not be read.\n");
    EXPECT_TRUE(r.written.empty());  // a failed output never appears
}

TEST(Scanner, FindsTheFirstWholeOccurrence)
{
    for (const auto& [text, want] : std::vector<std::pair<Bytes, int>>{
             {hex("000001 000001BA"), 3}, {hex("00 000001BA"), 1}, {hex("000001B9 000001BA"), 4},
             {hex("01BA 000001BA"), 2}, {hex("000001"), -1}, {hex("07 000001BA 000001BA"), 1}})
        EXPECT_EQ(find_pattern(text.data(), pack.data(), static_cast<std::int32_t>(text.size()), 4), want);
    EXPECT_EQ(find_pattern(pack.data() + 3, pack.data() + 3, 1, 1), 0);
    // Through a 7-byte reader, views 4 bytes apart: a code cut by a view's
    // end, or in the stretch's last 4 bytes.
    std::array<std::uint8_t, 7> buffer{};
    BlockReader small(buffer);
    for (std::size_t at : {4, 4996}) {
        Bytes in = with(filler(5000), at, pack);
        small.open_memory(in, "m");
        EXPECT_EQ(find_from(small, pack.data(), 0, in.size()), std::optional<std::uint64_t>(at));
    }
}

// Whole 5000-byte blocks 4995 apart below the limit, a raw sector of room
// after a find, a percentage line per whole MiB.
TEST(Scanner, SearchesWholeBlocksBelowTheLimit)
{
    // A find that ends in block 208, the last before the one that crosses
    // 1 MiB, or in that one.
    const std::size_t in_208 = 5000 + 208 * 4995 - 4;
    const std::tuple<std::size_t, std::size_t, bool, std::uint64_t> cases[] = {
        {4999, 0, false, 0},         {5000, 0, true, 0},         {9995, 4997, true, 4997},
        {12000, 9649, false, 9649},  {12001, 9649, true, 9649},
        {12000, 10000, false, 9990}, {10000, 8000, false, 8000}, {600000, 262142, true, 262142},
        {10 << 20, 0, false, 4995 * 2099}, {2 << 20, in_208, true, in_208}, {2 << 20, in_208 + 1, true, in_208 + 1},
        {2 << 20, 1048000, true, 1048000},
    };
    for (const auto& [size, code_at, found, pos] : cases) {
        bool big = size == (10u << 20), got = false;
        Bytes in = big ? zeros(size) : with(filler(size), code_at, pack);
        InProcess r = in_process(in, [&, pos = pos, size = size] {
            got = scan_for_pattern(io.input_file, pack.data(), in.size(), true);
            EXPECT_EQ(settings.input_pos, pos) << size;
        });
        EXPECT_EQ(got, found) << size;
        std::string lines = size < 5000 || big ? "" : code_at > in_208 ? "\xfe 0%\r\xfe 50%\r" : "\xfe 0%\r";
        for (int p = 0; big && p <= 90; p += 10)
            lines += "\xfe " + std::to_string(p) + "%\r";
        EXPECT_EQ(r.out, lines);
    }
}

// -nobumper: the copy starts after the last end code that has a pack with a
// raw sector of room after it, within the first 15 MiB (whose whole scan
// blocks reach up to 15724265).
TEST(Corrections, BumperPrescan)
{
    Bytes movie = concat({padded_block(0), mpeg_stream(5, 1)}), bumper = mpeg_stream(2, 50), big = zeros(15 << 20 | 8000);
    std::size_t b = bumper.size() + 4, last = 15724265;
    for (const auto& [in, want] : std::vector<std::pair<Bytes, std::uint64_t>>{
             {concat({bumper, end, movie}), b},
             {concat({bumper, end, mpeg_stream(1, 60), end, movie}), b + block_size + 4},
             {concat({bumper, end, end, movie}), b + 4},
             {concat({bumper, end, with(movie, movie.size() - 4, end)}), b},
             {with(concat({movie, filler(1046)}), 12639, end), 0},
             {with(big, last - 4, concat({end, pack})), last},
             {with(big, last - 3, concat({end, pack})), 0},
             {with(big, 15 << 20, concat({end, pack})), 0}}) {
        InProcess r = in_process(in, [n = in.size(), want = want] {
            prescan_bumper(io.input_file, n);
            EXPECT_EQ(settings.input_pos, want) << n;
        });
        EXPECT_EQ(r.out, "\r\xfe pre-scanning\r");
    }
    EXPECT_TRUE(same_bytes(copy(concat({bumper, end, movie}), {.bumper = true}).written, movie));
}

// Only a block whose bytes 2, 3 and 4 all differ from 01 BA 21 is broken; the
// copy goes on at the next pack start code, or ends when there is none. A
// stream that does not open with a padded pack gets the initial sequence. A
// pack header 24 bytes into a raw sector: the last sector's user data is taken
// on its own. A last short piece is kept, unless broken; a .dat file gets it
// zero-padded.
TEST(CopyEngine, Copies)
{
    Bytes head = padded_block(0), tail = mpeg_stream(6, 10), sequence(initial_sequence.begin(), initial_sequence.end());
    Bytes two = concat({head, padded_block(1)}), piece = slice(mpeg_block(9), 0, 100), raw = concat({raw_track(mpeg_stream(14)), filler(3000)});
    for (const auto& [bytes, broken] : {std::pair{hex("01BA23"), false}, {hex("010000"), false},
                                        {hex("000021"), false}, {hex("00BA00"), false}, {hex("000000"), true}}) {
        Bytes block = with(mpeg_block(5), 2, bytes);
        EXPECT_TRUE(same_bytes(copy(concat({head, block, tail}), {.fix = true}).written,
                               broken ? concat({head, tail}) : concat({head, block, tail})));
    }
    const std::tuple<Bytes, Shape, Bytes> cases[] = {
        {concat({head, broken_block(1), filler(2600), mpeg_block(3)}), {.fix = true}, head},
        {concat({mpeg_block(0), tail}), {.fix = true}, concat({sequence, mpeg_block(0), tail})},
        {raw_track(two), {.sector = sector_bytes, .from = 24}, two},
        {raw_track(concat({two, broken_block(0)})), {.sector = sector_bytes, .from = 24, .fix = true}, two},
        {concat({two, piece}), {.keep_last = true}, concat({two, piece})},
        {concat({two, filler(100)}), {.fix = true, .keep_last = true}, two},
        {raw, {.sector = sector_bytes, .from = 100, .exact = true}, slice(raw, 100, 15 * sector_bytes)},
    };
    for (const auto& [in, shape, want] : cases) {
        InProcess r = copy(in, shape);
        EXPECT_TRUE(same_bytes(r.written, want)) << in.size();
        EXPECT_EQ(r.out, "\xfe 0% [00:00:00] \r");
    }
    // Over 8 MiB, an exact copy goes in runs, each followed by the lines of its
    // whole MiB, in order and once each; here the last chunk ends the input
    // and is the one that reaches 100%.
    const std::size_t chunk = multi_sector_chunk(sector_bytes);
    std::size_t chunks = (10 << 20) / chunk;
    while ((chunks * chunk) % (1 << 20) >= chunk)
        ++chunks;
    Bytes big = raw_track(filler(chunks * chunk / sector_bytes * 2324));
    InProcess r = copy(big, {.sector = sector_bytes, .exact = true});
    EXPECT_TRUE(same_bytes(r.written, big));
    std::string lines;
    std::uint64_t copied = big.size() / multi_sector_chunk(sector_bytes) * multi_sector_chunk(sector_bytes);
    for (std::uint64_t mib = 0, last = 999; mib <= copied >> 20; ++mib)
        if (std::uint64_t percent = mib * 100 / (big.size() >> 20); percent != last)
            lines += "\xfe " + std::to_string(last = percent) + "% [hh:mm:ss] \r";
    EXPECT_EQ(mask_clock(r.out), lines);
    Bytes dat = copy(mpeg_block(0), {.fix = true, .framing = Framing::mode2_sectors}).written;
    EXPECT_EQ(slice(dat, 44 + 33 * sector_bytes + 24, block_size), slice(sequence, 3 * block_size, block_size));
    EXPECT_EQ(dat.size(), 44 + 35 * sector_bytes);
    dat = copy(concat({two, piece}), {.keep_last = true, .framing = Framing::mode2_sectors}).written;
    EXPECT_EQ(slice(dat, 44 + 32 * sector_bytes + 24, block_size + 4), concat({piece, zeros(2228)}));
    EXPECT_EQ(dat.size(), 44 + 33 * sector_bytes);
    // 128-byte chunks, each its own sector: the last 12 bytes are padded over the chunk before them.
    dat = copy(concat({two, piece}), {.sector = 128, .keep_last = true, .framing = Framing::mode2_sectors}).written;
    EXPECT_EQ(slice(dat, 44 + 67 * sector_bytes + 24, block_size), concat({slice(piece, 88, 12), zeros(2312)}));
}

// The lead-in, then data sectors whose minute carries after data sector 3857
// and is written as a plain number. Sectors not looked at go to /dev/null.
TEST(Mode2, LeadInAndAddresses)
{
    Scratch s;
    reset_run_state();
    reset_msf_counter();
    auto written = [&](bool keep, const std::function<void(BlockWriter&)>& write) {
        io.output_file.open(keep ? s.path("x").string() : "/dev/null");
        write(io.output_file);
        io.output_file.close();
        return keep ? s.read("x") : Bytes{};
    };
    Bytes lead = written(true, write_dat_lead_in), block = padded_block(0);
    EXPECT_EQ(lead.size(), 44 + 30 * sector_bytes);
    EXPECT_EQ(slice(lead, 0, 44), dat_header_bytes);
    const Bytes sync = hex("00FFFFFFFFFFFFFFFFFFFF00");
    EXPECT_EQ(slice(lead, 44, sector_bytes), concat({sync, hex("000812 02 01006000 01006000"), zeros(block_size), hex("AF2B17D8")}));
    EXPECT_EQ(slice(lead, 44 + 29 * sector_bytes + 12, 4), hex("000841 02"));
    const std::map<std::size_t, Bytes> addresses = {
        {0, hex("000842")}, {3857, hex("005974")}, {3858, hex("010000")}, {44357, hex("095974")}, {44358, hex("0A0000")}};
    for (std::size_t k = 0; k <= 44358; ++k) {
        Bytes got = written(addresses.contains(k), [&](BlockWriter& out) { write_mode2_sector(out, block.data()); });
        EXPECT_EQ(slice(got, 12, 3), addresses.contains(k) ? addresses.at(k) : Bytes{}) << k;
        EXPECT_TRUE(k > 0 || got == concat({sync, hex("000842 02 0101620F 0101620F"), block, zeros(4)}));
    }
    // Every output starts at 00:08:12 again.
    reset_msf_counter();
    EXPECT_EQ(slice(written(true, write_dat_lead_in), 44 + 12, 3), hex("000812"));
    reset_run_state();
}

// The four packs and end codes as they stand on disc: SCR, mux rate, system
// headers, padding lengths; zeros after the last end code.
TEST(Corrections, InitialSequenceBytes)
{
    Bytes want(initial_sequence_size, 0xFF);
    for (const auto& [at, bytes] : std::vector<std::pair<std::size_t, const char*>>{
             {0, "000001BA21 00010009 801B91  000001BB 0009 801B91 01 E1 FF E0 E02E  000001BE 08F3 0F"},
             {2324, "000001BA21 00010969 801B91  000001BB 0009 801B91 05 E0 FF C0 C020  000001BE 08DF 0F"},
             {4628, "000001BA21 000112C9 801B91  000001BE 08FE FF0F"},
             {6948, "000001B9  000001BA21 00011C29 801B91  000001BE 08EA FF0F"},
             {9252, "000001B9 00000000000000000000000000000000000000000000000000000000000000000000000000000000"}})
        want = with(want, at, hex(bytes));
    EXPECT_TRUE(same_bytes(Bytes(initial_sequence.begin(), initial_sequence.end()), want));
}
