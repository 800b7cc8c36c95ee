// videocd.xml on discs vcdxbuild makes here: the disc read in-process as
// -disc2mpg reads it, then the description, the item files and vcdxbuild
// must give the very same image back.
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>

#include "image/image_formats.h"
#include "mpeg/pack_times.h"
#include "run/run_state.h"
#include "vcd/disc_description.h"
#include "vcd/disc_filesystem.h"
#include "vcd/disc_timing.h"
#include "vcd/entry_time.h"
#include "vcd/playback.h"
#include "harness.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* build_time = "2020-01-02 03:04:05";

bool have(const char* tool)
{
    return run_program_in(fs::current_path(), {"sh", "-c", std::string("command -v ") + tool}).status == 0;
}

struct DiscCase {
    const char* name;
    const char* clips;  // shell: makes the clips with ffmpeg
    const char* xml;    // the description vcdxbuild makes the disc from, in tests/data/descriptions
    // Output name -> clip, for the item copies the program would write.
    std::vector<std::pair<std::string, std::string>> items;
    std::vector<std::pair<std::string, std::string>> extra;  // src -> content
};

const char* clip_function =
    "clip() { ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=$3:rate=25 -f lavfi -i sine -t $2 -target $4 "
    "-y $1; }; still() { ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=$2:rate=25 -frames:v 1 -an "
    "-target $3 -y $1; }; ";

const DiscCase cases[] = {
    // motion.mpg has one audio channel: audio type 1 in its contents byte,
    // whose low bit is no continuation mark.
    {"vcd2",
     "clip movie1.mpg 3 352x288 pal-vcd && clip movie2.mpg 2 352x288 pal-vcd && "
     "clip motion.mpg 1 352x288 'pal-vcd -ac 1 -b:a 128k' && still still.mpg 352x288 pal-vcd && "
     "printf 'read me\\n' > readme.txt && printf 'notes & more\\n' > notes.txt",
     "vcd2.xml",
     {{"avseq01.mpg", "movie1.mpg"}, {"avseq02.mpg", "movie2.mpg"}, {"item0001.mpg", "still.mpg"},
      {"item0002.mpg", "motion.mpg"}},
     {{"README.TXT", "readme.txt"}, {"DOCS_NOTES.TXT", "notes.txt"}}},
    {"svcd", "clip movie.mpg 3 480x576 pal-svcd && still still.mpg 480x576 pal-svcd",
     "svcd.xml",
     {{"avseq01.mpg", "movie.mpg"}, {"item0001.mpg", "still.mpg"}},
     {}},
    {"vcd11", "clip movie1.mpg 2 352x288 pal-vcd && clip movie2.mpg 2 352x288 pal-vcd",
     "vcd11.xml",
     {{"avseq01.mpg", "movie1.mpg"}, {"avseq02.mpg", "movie2.mpg"}},
     {}},
};

// Builds a disc from the description `xml` in `dir` and returns its image's bytes.
Bytes build_disc(const fs::path& dir, const std::string& xml)
{
    fs::copy_file(fs::path(MIVARO_TEST_DATA) / "descriptions" / xml, dir / "in.xml");
    RunResult r = run_program_in(dir, {"vcdxbuild", "-T", build_time, "--cue-file=disc.cue", "--bin-file=disc.bin", "in.xml"});
    EXPECT_EQ(r.status, 0) << r.out;
    std::ifstream in(dir / "disc.bin", std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void PrintTo(const DiscCase& c, std::ostream* os) { *os << c.name; }

class DiscRoundTrip : public ::testing::TestWithParam<DiscCase> {};

TEST_P(DiscRoundTrip, VcdxbuildRebuildsTheSameImageFromTheDescription)
{
    if (!have("vcdxbuild") || !have("ffmpeg"))
        GTEST_SKIP() << "needs vcdxbuild and ffmpeg";
    const DiscCase& c = GetParam();
    Scratch s;
    ASSERT_EQ(run_program_in(s.dir(), {"bash", "-c", std::string(clip_function) + c.clips}).status, 0);
    Bytes disc = build_disc(s.dir(), c.xml);
    ASSERT_FALSE(disc.empty());

    reset_run_state();
    DiscImage image = open_disc_image(s.path("disc.cue").string());
    DiscLayout d = read_disc_description(image, "disc.cue");
    for (const DiscFile& f : d.files)  // the items' files are stored in Form 2
        EXPECT_EQ(f.form2, !f.directory && (f.path.starts_with("MPEG") || f.path.starts_with("SEGMENT/"))) << f.path;
    PlaybackParse pbc = read_playback_control(d);
    ASSERT_EQ(pbc.error, "");
    DiscTiming times = read_disc_timing(image, d);
    std::vector<ItemScan> scans;  // as the copies gather it, sector by sector
    auto gather = [&](std::uint32_t first, std::uint32_t sectors) {
        ItemScan& scan = scans.emplace_back(ItemScan{first, first + sectors, false, {}});
        while (scan.first < scan.end && !carries_payload(image, scan.first))
            ++scan.first;
        for (std::uint32_t lsn = scan.first; lsn < scan.end; ++lsn)
            note_scan_sector(scan, lsn, {read_disc_sector(image, lsn) + 24, 2324});
    };
    for (const SequenceItem& item : d.sequences)
        gather(item.first_lsn, item.sectors);
    for (const SegmentItem& item : d.segments)
        gather(item.first_lsn, item.sectors);
    add_scan_offsets(scans, times);
    EXPECT_TRUE(times.uncarried.empty());
    std::string xml = disc_description_text(d, pbc.control.lists.empty() ? nullptr : &pbc.control, times);
    io.input_file.close();

    fs::path out = s.path("out");
    fs::create_directory(out);
    std::ofstream(out / "videocd.xml") << xml;
    for (const auto& [name, clip] : c.items)
        fs::copy_file(s.path(clip), out / name);
    std::vector<ExtraFile> extra = description_extra_files(d);
    ASSERT_EQ(extra.size(), c.extra.size());
    for (std::size_t i = 0; i < extra.size(); ++i) {
        EXPECT_EQ(extra[i].src, c.extra[i].first);
        fs::copy_file(s.path(c.extra[i].second), out / extra[i].src);
    }
    RunResult r = run_program_in(out, {"vcdxbuild", "-T", build_time, "--cue-file=re.cue", "--bin-file=re.bin", "videocd.xml"});
    ASSERT_EQ(r.status, 0) << r.out << xml;
    std::ifstream in(out / "re.bin", std::ios::binary);
    EXPECT_TRUE(same_bytes(Bytes(std::istreambuf_iterator<char>(in), {}), disc)) << xml;
}

INSTANTIATE_TEST_SUITE_P(Discs, DiscRoundTrip, ::testing::ValuesIn(cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// A play list of n items at `at`, with LID `lid` and prev/next/return.
void put_play_list(Bytes& psd, std::size_t at, std::uint16_t lid, std::uint16_t next, std::vector<std::uint16_t> items)
{
    psd.resize(std::max(psd.size(), at + 14 + 2 * items.size()));
    Bytes d = {0x10, static_cast<std::uint8_t>(items.size()), static_cast<std::uint8_t>(lid >> 8),
               static_cast<std::uint8_t>(lid), 0xff, 0xff, static_cast<std::uint8_t>(next >> 8),
               static_cast<std::uint8_t>(next), 0xff, 0xff, 0, 0, 255, 0};
    for (std::uint16_t i : items) {
        d.push_back(static_cast<std::uint8_t>(i >> 8));
        d.push_back(static_cast<std::uint8_t>(i));
    }
    std::copy(d.begin(), d.end(), psd.begin() + static_cast<std::ptrdiff_t>(at));
}

TEST(PlaybackControl, ListsThatLeadToEachOtherAreReadOnce)
{
    Bytes psd;
    put_play_list(psd, 0, 1, 2, {2});      // next: the list at byte 16
    put_play_list(psd, 16, 0x8002, 0, {1000, 2});  // rejected, next: back to byte 0
    put_play_list(psd, 40, 3, 5, {});      // only the LOT leads here; next: itself
    psd.resize(64);
    psd[56] = 0x1f;                        // an end list the LOT leaves out
    Bytes lot = {0, 0, 0, 0, 0, 2, 0xff, 0xff, 0, 5};
    PlaybackParse p = parse_playback_control(psd, lot, 8);
    ASSERT_EQ(p.error, "");
    ASSERT_EQ(p.control.lists.size(), 4u);
    EXPECT_TRUE(p.control.lists[3].rejected);
    EXPECT_FALSE(p.control.lists[2].rejected);
    EXPECT_EQ(list_number(p.control, 1), 2u);
    EXPECT_EQ(list_number(p.control, 3), 4u);
    EXPECT_EQ(p.control.lists[0].next, 1);
    EXPECT_EQ(p.control.lists[1].next, 0);
    EXPECT_TRUE(p.control.lists[1].rejected);
    EXPECT_EQ(p.control.lists[1].lid, 2);
    EXPECT_EQ(p.control.lists[2].next, 2);
    EXPECT_EQ(p.control.lists[1].items, (std::vector<std::uint16_t>{1000, 2}));
    EXPECT_EQ(wait_seconds(p.control.lists[0].wait_code), -1);
}

TEST(PlaybackControl, ImpossibleBytesGiveAnErrorNotARead)
{
    Bytes psd;
    put_play_list(psd, 0, 1, 200, {2});  // next: byte 1600, past the end
    EXPECT_NE(parse_playback_control(psd, {}, 8).error.find("past the end"), std::string::npos);
    put_play_list(psd, 0, 1, 2, {2});  // next: byte 16, zeros there
    psd.resize(24);
    EXPECT_NE(parse_playback_control(psd, {}, 8).error.find("no list starts"), std::string::npos);
    psd[16] = 0x10;
    psd[17] = 200;  // 200 items cannot fit
    EXPECT_NE(parse_playback_control(psd, {}, 8).error.find("runs past"), std::string::npos);
    Bytes truncated = {0x18, 0, 90, 1};  // a selection list of 90 numbers, 4 bytes long
    EXPECT_NE(parse_playback_control(truncated, {}, 8).error, "");
    EXPECT_EQ(parse_playback_control(truncated, Bytes{0, 0, 0, 0}, 0).error, "the offset multiplier is 0");
    EXPECT_EQ(parse_playback_control({}, {}, 8).control.lists.size(), 0u);
}

TEST(PlaybackControl, ReportNamesItemsAndFitsEightyColumns)
{
    DiscLayout d;
    d.entries = {{2, 0}, {2, 100}, {3, 300}};
    d.sequences = {{"avseq01.mpg", "", 2, 0, 200, {0, 1}}, {"avseq02.mpg", "", 3, 300, 100, {2}}};
    d.segments = {{"item0001.mpg", "", 1, 500, 150, 0, 1, 0}};
    EXPECT_EQ(play_item_words(d, 3), "avseq02.mpg");
    EXPECT_EQ(play_item_words(d, 101), "entry 2 of avseq01.mpg");
    EXPECT_EQ(play_item_words(d, 1000), "item0001.mpg");
    EXPECT_EQ(play_item_words(d, 1), "nothing");
    EXPECT_EQ(play_item_words(d, 4), "item number 4 (none on the disc)");
    EXPECT_EQ(play_item_words(d, 700), "item number 700 (none on the disc)");

    Bytes psd;
    put_play_list(psd, 0, 1, 0xffff, std::vector<std::uint16_t>(40, 101));
    PlaybackParse p = parse_playback_control(psd, {}, 8);
    ASSERT_EQ(p.error, "");
    testing::internal::CaptureStdout();
    print_playback_control(d, p.control);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("List 1: plays entry 2 of avseq01.mpg, entry 2 of"), std::string::npos) << out;
    for (std::size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1)
        EXPECT_LE(end - at, 79u) << out;
}

// A selection list with areas (an unused key, then a key to the play list),
// a play list of item numbers at the edges of their ranges, and an end list
// that shows a picture; sequence 1 is on track 99, segment 2 is numbered
// past the last a disc can have.
TEST(PlaybackControl, AreasEndListsAndItemNumbersInTheDescription)
{
    Bytes psd = hex("1801 0201 0001 ffff 0006 ffff 0006 ffff 0501 03e8 ffff 0006"
                    "0a0b0c0d 14151617 1e1f2021 28292a2b 01020304 05060708");
    put_play_list(psd, 48, 2, 0xffff, {99, 2979, 2980});
    psd.resize(72);
    psd = concat({psd, hex("1f00 03e8 00000000")});
    PlaybackParse p = parse_playback_control(psd, {}, 8);
    ASSERT_EQ(p.error, "");
    DiscLayout d;
    d.sequences = {{"avseq01.mpg", "", 99, 0, 10, {}}};
    d.segments = {{"item0001.mpg", "", 1, 500, 150, 0, 1, 0}, {"item1981.mpg", "", 1981, 650, 150, 0, 1, 0}};
    std::string xml = disc_description_text(d, &p.control, {});
    EXPECT_EQ(xml.substr(xml.find("  <pbc>")), R"(  <pbc>
    <selection id="selection-01">
      <bsn>1</bsn>
      <next ref="playlist-02" x1="20" y1="21" x2="22" y2="23"/>
      <default ref="playlist-02" x1="40" y1="41" x2="42" y2="43"/>
      <wait>5</wait>
      <loop jump-timing="immediate">1</loop>
      <play-item ref="segment-0001"/>
      <select/>
      <select ref="playlist-02" x1="5" y1="6" x2="7" y2="8"/>
    </selection>
    <playlist id="playlist-02">
      <wait>-1</wait>
      <autowait>0</autowait>
      <play-item ref="sequence-01"/>
    </playlist>
    <endlist id="endlist-03" rejected="true">
      <play-item ref="segment-0001"/>
    </endlist>
  </pbc>
</videocd>
)");
}

TEST(DiscDescription, EscapesTextAndKeepsCopiesApart)
{
    DiscLayout d;
    d.album_id = "Tom & \"Jerry\" <\xe9t\xe8>\x01";
    d.sequences = {{"avseq01.mpg", "", 2, 0, 10, {}}};
    d.files = {{"VCD", 0, 0, 0, false, true},     {"VCD/INFO.VCD", 150, 2048, 1, false, false},
               {"AVSEQ01.MPG", 0, 1, 1, false, false}, {"A", 0, 0, 0, false, true},
               {"A/B.TXT", 0, 1, 1, true, false},   {"A_B.TXT", 0, 1, 1, false, false},
               {"..", 0, 1, 1, false, false}};
    // A file eight folders deep whose copy's name runs far past 200 bytes.
    std::string deep;
    for (char c = '1'; c <= '8'; ++c) {
        deep += (deep.empty() ? "" : "/") + std::string(30, c);
        d.files.push_back({deep, 0, 0, 0, false, true});
    }
    d.files.push_back({deep + "/" + std::string(30, 'F') + ".TXT", 0, 1, 1, false, false});
    std::vector<ExtraFile> extra = description_extra_files(d);
    ASSERT_EQ(extra.size(), 5u);
    std::string deep_src = extra[4].src;
    EXPECT_EQ(deep_src.size(), 8 * 31 + 34u);
    EXPECT_EQ(extra[0].src, "AVSEQ01.MPG~2");  // avseq01.mpg is the sequence's copy
    EXPECT_EQ(extra[1].src, "A_B.TXT");
    EXPECT_EQ(extra[2].src, "A_B.TXT~2");
    EXPECT_EQ(extra[3].src, "_..");
    std::string xml = disc_description_text(d, nullptr, {});
    EXPECT_NE(xml.find("<album-id>Tom &amp; &quot;Jerry&quot; &lt;\xc3\xa9t\xc3\xa8&gt;?</album-id>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<folder>\n      <name>A</name>\n      <file src=\"A_B.TXT\" format=\"mixed\">"), std::string::npos) << xml;
    EXPECT_EQ(xml.find("INFO.VCD"), std::string::npos);
    std::size_t folders = 0;
    for (std::size_t at = xml.find("<folder>"); at != std::string::npos; at = xml.find("<folder>", at + 1))
        ++folders;
    EXPECT_EQ(folders, 9u);  // A and the eight deep ones
    EXPECT_NE(xml.find("<file src=\"" + deep_src + "\" format=\"form1\">"), std::string::npos) << xml;

    PlaybackControl c;
    c.lists.resize(1);
    c.lists[0].kind = ListKind::play;
    c.lists[0].play_time = 68;
    DiscTiming t;
    t.layout_options = {{"track rear margin", 20}};
    t.sequence_pauses = {{136200}};
    xml = disc_description_text(d, &c, t);
    for (const char* want : {"<playtime>4.533333</playtime>", "<option name=\"track rear margin\" value=\"20\"/>",
                             "<auto-pause>1.513333</auto-pause>"})
        EXPECT_NE(xml.find(want), std::string::npos) << want << "\n" << xml;
}

// The whole text for an SVCD in the layout of VCD 3.0 whose one other file
// lies in the root folder.
TEST(DiscDescription, WholeTextOfASmallSvcd)
{
    DiscLayout d;
    d.kind = DiscKind::svcd;
    d.files = {{"MPEGAV", 0, 0, 0, false, true}, {"README.TXT", 0, 1, 1, false, false}};
    d.entries_file = {'E', 'N', 'T', 'R', 'Y', 'S', 'V', 'D', 1, 0};
    d.sequences = {{"avseq01.mpg", "", 2, 0, 10, {0, 1}}};
    d.segments = {{"item0001.mpg", "", 1, 500, 150, 0, 1, 0}};
    DiscTiming t;
    t.entry_ticks = {0, 90000};
    t.segment_pauses = {{45000}};
    t.relaxed_aps = t.tracks_v30 = true;
    EXPECT_EQ(disc_description_text(d, nullptr, t), R"(<?xml version="1.0"?>
<!DOCTYPE videocd PUBLIC "-//GNU//DTD VideoCD//EN" "http://www.gnu.org/software/vcdimager/videocd.dtd">
<videocd xmlns="http://www.gnu.org/software/vcdimager/1.0/" class="svcd" version="1.0">
  <option name="svcd vcd30 mpegav" value="true"/>
  <option name="svcd vcd30 entrysvd" value="true"/>
  <option name="svcd vcd30 tracksvd" value="true"/>
  <option name="relaxed aps" value="true"/>
  <info>
    <album-id/>
    <volume-count>0</volume-count>
    <volume-number>0</volume-number>
    <restriction>0</restriction>
  </info>
  <pvd>
    <volume-id/>
    <system-id/>
    <application-id/>
    <preparer-id/>
    <publisher-id/>
  </pvd>
  <filesystem>
    <file src="README.TXT" format="form1">
      <name>README.TXT</name>
    </file>
  </filesystem>
  <segment-items>
    <segment-item src="item0001.mpg" id="segment-0001">
      <auto-pause>0.500000</auto-pause>
    </segment-item>
  </segment-items>
  <sequence-items>
    <sequence-item src="avseq01.mpg" id="sequence-01">
      <default-entry id="entry-001"/>
      <entry id="entry-002">1.000000</entry>
    </sequence-item>
  </sequence-items>
</videocd>
)");
}

TEST(EntryTime, TimesCountFromTheLowestTimeStamp)
{
    EXPECT_EQ(entry_time_text(151200, 42218), "1.210911");
    EXPECT_EQ(entry_time_text(42218, 42218), "0.000000");
    EXPECT_EQ(entry_time_text(1000, 42218), "0.000000");
    // An MPEG-1 pack with a video packet (PTS 0.48 s) behind an audio one
    // (PTS 0.469089 s), then a packet that the block's end cuts one
    // byte short of a whole PTS.
    Bytes b = {0, 0, 1, 0xba, 0x21, 0, 1, 0, 1, 0x80, 0, 1};
    Bytes audio = {0, 0, 1, 0xc0, 0, 7, 0x21, 0x00, 0x03, 0x49, 0xd5};  // PTS 42218
    audio.resize(13, 0);
    Bytes video = {0, 0, 1, 0xe0, 0, 7, 0x21, 0x00, 0x03, 0x51, 0x81};  // PTS 43200
    video.resize(13, 0);
    b.insert(b.end(), audio.begin(), audio.end());
    b.insert(b.end(), video.begin(), video.end());
    Bytes cut = {0, 0, 1, 0xe0, 0xff, 0xff, 0x21, 0x00, 0x01, 0x00};
    b.insert(b.end(), cut.begin(), cut.end());
    PackTimes t = pack_times(b);
    EXPECT_EQ(t.first_video, 43200u);
    EXPECT_EQ(t.lowest, 42218u);
    EXPECT_FALSE(pack_times(Bytes(2324, 0)).lowest.has_value());
    // Stuffing and the STD buffer size ahead of a PTS with all 33 bits set.
    Bytes stuffed = {0, 0, 1, 0xba, 0x21, 0, 1, 0, 1, 0x80, 0, 1, 0, 0, 1, 0xe0, 0, 9,
                     0xff, 0xff, 0x40, 0x00, 0x2f, 0xff, 0xff, 0xff, 0xff};
    EXPECT_EQ(pack_times(stuffed).first_video, 0x1ffffffffu);
    // MPEG-2: a PES header whose flags say no PTS, whatever its length; a
    // pack clock with only bit 28 set.
    Bytes no_pts = {0, 0, 1, 0xba, 0x21, 0, 1, 0, 1, 0x80, 0, 1, 0, 0, 1, 0xe0, 0, 8,
                    0x80, 0x00, 0x05, 0x21, 0, 1, 0, 1};
    EXPECT_FALSE(pack_times(no_pts).lowest.has_value());
    Bytes mpeg2 = {0, 0, 1, 0xba, 0x45, 0, 0x04, 0, 0x04, 0x01, 0, 0, 0x03, 0xf8};
    EXPECT_EQ(pack_clock(mpeg2), 1u << 28);
}

}  // namespace
