// Nero chunk lists: track-at-once (as vcdimager writes them) and
// disc-at-once, and the damage that must be refused rather than read.
#include <gtest/gtest.h>

#include "bytes.h"
#include "image/nrg_image.h"

namespace {

void put(Bytes& out, std::uint64_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

Bytes chunk(const char* id, const Bytes& data)
{
    Bytes out(id, id + 4);
    put(out, data.size(), 4);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes tao_entry(std::uint64_t offset, std::uint64_t length, std::uint32_t mode, bool wide)
{
    Bytes e;
    put(e, offset, wide ? 8 : 4);
    put(e, length, wide ? 8 : 4);
    put(e, mode, 4);
    e.insert(e.end(), wide ? 12 : 8, 0);
    return e;
}

}  // namespace

TEST(NrgImage, FooterAndTrackAtOnceTracks)
{
    std::string error;
    const std::uint8_t nero[] = {'N', 'E', 'R', 'O', 0x00, 0x17, 0xfd, 0x20};
    EXPECT_EQ(nrg_chunk_offset(nero, 1572204, error), 0x17fd20u);
    EXPECT_EQ(error, "");
    const std::uint8_t ner5[] = {'N', 'E', 'R', '5', 0, 0, 0, 0, 0, 0, 0x10, 0};
    EXPECT_EQ(nrg_chunk_offset(ner5, 1 << 20, error), 0x1000u);
    nrg_chunk_offset(ner5, 0x1000, error);
    EXPECT_NE(error, "");
    error.clear();
    nrg_chunk_offset(Bytes(8, 0), 100, error);
    EXPECT_NE(error, "");

    // vcdimager's layout: two Mode 2 tracks of 2336-byte sectors; the
    // second lies 150 sectors after the first ends.
    Bytes list = concat({tao_entry(0, 300 * 2336, 3, false), tao_entry(300 * 2336, 373 * 2336, 3, false)});
    for (bool wide : {false, true}) {
        Bytes tracks = wide ? concat({tao_entry(0, 300 * 2336, 3, true), tao_entry(300 * 2336, 373 * 2336, 3, true)}) : list;
        TrackLayout layout = parse_nrg_chunks(concat({chunk(wide ? "ETN2" : "ETNF", tracks), chunk("SINF", Bytes(4)),
                                                    chunk("END!", {})}),
                                            673 * 2336);
        ASSERT_EQ(layout.error, "");
        ASSERT_EQ(layout.tracks.size(), 2u);
        EXPECT_EQ(layout.runs[1].offset, 300u * 2336);
        EXPECT_EQ(layout.runs[1].sectors, 373u);
        EXPECT_EQ(layout.runs[1].sector_size, 2336u);
        EXPECT_EQ(layout.runs[1].first_lsn, 450u);
    }
}

TEST(NrgImage, DiscAtOnceTracksFollowEachOther)
{
    Bytes dao(22, 0);
    for (auto [index0, index1, end] : {std::array<std::uint64_t, 3>{0, 0, 300 * 2352}, {300 * 2352, 450 * 2352, 800 * 2352}}) {
        Bytes entry(12, 0);
        put(entry, 2352, 2);
        put(entry, 0x0600, 2);
        put(entry, 0, 2);
        for (std::uint64_t offset : {index0, index1, end})
            put(entry, offset, 8);
        dao = concat({dao, entry});
    }
    TrackLayout layout = parse_nrg_chunks(chunk("DAOX", dao), 800 * 2352);
    ASSERT_EQ(layout.error, "");
    ASSERT_EQ(layout.tracks.size(), 2u);
    EXPECT_EQ(layout.runs[1].first_lsn, 300u);
    EXPECT_EQ(layout.runs[1].sectors, 500u);
    EXPECT_NE(parse_nrg_chunks(chunk("DAOX", dao), 700 * 2352).error, "");  // past the data
}

TEST(NrgImage, DamageIsRefused)
{
    Bytes good = tao_entry(0, 300 * 2336, 3, false);
    Bytes cut = chunk("ETNF", good);
    cut.pop_back();
    for (const Bytes& chunks : {cut, chunk("ETNF", tao_entry(0, 300 * 2336, 0, false)),  // a Mode 1 track
                                chunk("ETNF", tao_entry(0, 300 * 2336 + 1, 3, false)), chunk("ETNF", Bytes(19, 0)),
                                concat({chunk("ETNF", good), chunk("ETNF", good)}), chunk("SINF", Bytes(4)),
                                chunk("ETNF", tao_entry(0xFFFFFFFF, 300 * 2336, 3, false)), Bytes{}})
        EXPECT_NE(parse_nrg_chunks(chunks, 300 * 2336).error, "");
    EXPECT_EQ(parse_nrg_chunks(concat({chunk("ETNF", good), cut}), 100).error,
              "a chunk at byte " + std::to_string(100 + 8 + good.size()) + " runs past the end");
}
