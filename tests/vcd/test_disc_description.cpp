// videocd.xml on discs vcdxbuild makes here: the description, the item
// files and vcdxbuild must give the very same image back. Until the program
// reads a disc's layout itself, a small reader below takes what a vcdxbuild
// image holds at its fixed places and in its ISO 9660 directories.
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>

#include "vcd/disc_description.h"
#include "mpeg/pack_times.h"
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

struct Image {
    Bytes bytes;
    std::span<const std::uint8_t> sector(std::uint32_t lsn, std::size_t size = 2048) const
    {
        return std::span<const std::uint8_t>(bytes).subspan(lsn * 2352u + 24, size);
    }
    Bytes file(std::uint32_t lsn, std::size_t size) const
    {
        Bytes out;
        for (std::uint32_t i = 0; out.size() < size; ++i) {
            auto s = sector(lsn + i);
            out.insert(out.end(), s.begin(), s.end());
        }
        out.resize(size);
        return out;
    }
};

unsigned bcd(std::uint8_t b) { return (b >> 4) * 10u + (b & 15u); }
std::uint32_t msf_lsn(const std::uint8_t* m) { return (bcd(m[0]) * 60 + bcd(m[1])) * 75 + bcd(m[2]) - 150; }
std::uint16_t be16(std::span<const std::uint8_t> b, std::size_t at) { return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]); }
std::uint32_t le32(std::span<const std::uint8_t> b, std::size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::string trimmed(std::span<const std::uint8_t> b)
{
    std::string s(b.begin(), b.end());
    return s.substr(0, s.find_last_not_of(' ') + 1);
}

void read_directory(const Image& img, DiscLayout& d, std::uint32_t lsn, std::uint32_t size, const std::string& path)
{
    Bytes dir = img.file(lsn, size);
    for (std::size_t i = 0; i < dir.size();) {
        std::size_t len = dir[i];
        if (len == 0) {
            i = (i / 2048 + 1) * 2048;
            continue;
        }
        std::span<const std::uint8_t> r(dir.data() + i, len);
        std::string name(r.begin() + 33, r.begin() + 33 + r[32]);
        i += len;
        if (name == std::string(1, '\0') || name == "\1")
            continue;
        name = name.substr(0, name.find(';'));
        DiscFile f{path + name, le32(r, 2), le32(r, 10), (le32(r, 10) + 2047) / 2048, false, (r[25] & 2) != 0};
        std::size_t xa = 33 + r[32] + (r[32] % 2 == 0);
        f.form2 = xa + 6 < len && (r[xa + 4] & 0x10) != 0;
        d.files.push_back(f);
        if (f.directory)
            read_directory(img, d, f.lsn, f.size, f.path + "/");
    }
}

DiscLayout read_layout(const Image& img)
{
    DiscLayout d;
    auto info = img.sector(150);
    std::string id(info.begin(), info.begin() + 8);
    d.kind = id == "SUPERVCD" ? DiscKind::svcd : info[8] == 2 ? DiscKind::vcd20 : DiscKind::vcd11;
    d.album_id = trimmed(info.subspan(10, 16));
    d.volume_count = be16(info, 26);
    d.volume_number = be16(info, 28);
    d.restriction = info[0x2b] >> 1 & 3;
    d.use_lid2 = info[0x2b] & 0x20;
    d.use_track3 = info[0x2b] & 0x40;
    d.offset_multiplier = info[0x33];
    d.info_file.assign(info.begin(), info.end());
    auto entries = img.sector(151);
    d.entries_file.assign(entries.begin(), entries.end());
    for (unsigned i = 0; i < be16(entries, 10); ++i) {
        DiscEntry e{static_cast<std::uint8_t>(bcd(entries[12 + 4 * i])), msf_lsn(&entries[13 + 4 * i])};
        if (d.sequences.empty() || d.sequences.back().track != e.track) {
            SequenceItem s;
            char name[16];
            std::snprintf(name, sizeof name, "avseq%02zu.mpg", d.sequences.size() + 1);
            s.name = name;
            s.track = e.track;
            s.first_lsn = e.lsn;
            d.sequences.push_back(s);
        }
        d.sequences.back().entries.push_back(static_cast<std::uint16_t>(d.entries.size()));
        d.entries.push_back(e);
    }
    std::uint32_t psd_size = static_cast<std::uint32_t>(be16(info, 0x2c)) << 16 | be16(info, 0x2e);
    if (psd_size != 0) {
        d.psd = img.file(184, psd_size);
        d.lot = img.file(152, 32 * 2048);
        std::uint32_t first = msf_lsn(&info[0x30]);
        for (unsigned i = 0; i < be16(info, 0x36); ++i)
            if ((info[0x38 + i] & 0x20) == 0) {
                SegmentItem s;
                char name[16];
                std::snprintf(name, sizeof name, "item%04u.mpg", i + 1);
                s.name = name;
                s.number = static_cast<std::uint16_t>(i + 1);
                s.first_lsn = first + 150 * i;
                d.segments.push_back(s);
            }
    }
    auto pvd = img.sector(16);
    d.system_id = trimmed(pvd.subspan(8, 32));
    d.volume_id = trimmed(pvd.subspan(40, 32));
    d.publisher_id = trimmed(pvd.subspan(318, 128));
    d.preparer_id = trimmed(pvd.subspan(446, 128));
    d.application_id = trimmed(pvd.subspan(574, 128));
    read_directory(img, d, le32(pvd, 156 + 2), le32(pvd, 156 + 10), "");
    for (const DiscFile& f : d.files) {
        if (f.path == "EXT/PSD_X.VCD")
            d.psd_x = img.file(f.lsn, f.size);
        if (f.path == "EXT/LOT_X.VCD")
            d.lot_x = img.file(f.lsn, f.size);
    }
    d.image_sectors = static_cast<std::uint32_t>(img.bytes.size() / 2352);
    return d;
}

// The times the description gives each entry, from the packs of the image.
DiscTiming entry_times(const Image& img, const DiscLayout& d)
{
    DiscTiming timing;
    timing.entry_ticks.resize(d.entries.size());
    for (std::size_t s = 0; s < d.sequences.size(); ++s) {
        std::uint32_t end = s + 1 < d.sequences.size() ? d.sequences[s + 1].first_lsn : d.image_sectors;
        std::uint64_t lowest = UINT64_MAX;
        for (std::uint32_t lsn = d.sequences[s].first_lsn; lsn < end; ++lsn)
            lowest = std::min(lowest, pack_times(img.sector(lsn, 2324)).lowest.value_or(UINT64_MAX));
        // The default entry is the track's start, in front of the first pack.
        for (std::size_t k = 1; k < d.sequences[s].entries.size(); ++k) {
            std::uint16_t e = d.sequences[s].entries[k];
            auto pts = pack_times(img.sector(d.entries[e].lsn, 2324)).first_video;
            EXPECT_TRUE(pts.has_value()) << "entry " << e;
            timing.entry_ticks[e] = pts.value_or(0) - lowest;
        }
    }
    return timing;
}

struct DiscCase {
    const char* name;
    const char* clips;  // shell: makes the clips with ffmpeg
    const char* xml;    // the description vcdxbuild makes the disc from
    // Output name -> clip, for the item copies the program would write.
    std::vector<std::pair<std::string, std::string>> items;
    std::vector<std::pair<std::string, std::string>> extra;  // src -> content
};

constexpr const char* doctype =
    "<?xml version=\"1.0\"?>\n<!DOCTYPE videocd PUBLIC \"-//GNU//DTD VideoCD//EN\" "
    "\"http://www.gnu.org/software/vcdimager/videocd.dtd\">\n";

const char* clip_function =
    "clip() { ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=$3:rate=25 -f lavfi -i sine -t $2 -target $4 "
    "-y $1; }; still() { ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=$2:rate=25 -frames:v 1 -an "
    "-target $3 -y $1; }; ";

const DiscCase cases[] = {
    {"vcd2",
     "clip movie1.mpg 3 352x288 pal-vcd && clip movie2.mpg 2 352x288 pal-vcd && clip motion.mpg 1 352x288 pal-vcd && "
     "still still.mpg 352x288 pal-vcd && printf 'read me\\n' > readme.txt && printf 'notes & more\\n' > notes.txt",
     R"(<videocd xmlns="http://www.gnu.org/software/vcdimager/1.0/" class="vcd" version="2.0">
  <info><album-id>A&amp;B "ALBUM"</album-id><volume-count>2</volume-count><volume-number>1</volume-number>
    <restriction>1</restriction></info>
  <pvd><volume-id>TESTVOL</volume-id><system-id>CD-RTOS CD-BRIDGE</system-id><publisher-id>ME</publisher-id></pvd>
  <filesystem>
    <folder><name>DOCS</name><file src="notes.txt"><name>NOTES.TXT</name></file></folder>
    <file src="readme.txt"><name>README.TXT</name></file>
  </filesystem>
  <segment-items><segment-item src="still.mpg" id="still"/><segment-item src="motion.mpg" id="motion"/></segment-items>
  <sequence-items>
    <sequence-item src="movie1.mpg" id="one"><default-entry id="one-a"/>
      <entry id="one-b">1.000</entry><entry id="one-c">2.000</entry></sequence-item>
    <sequence-item src="movie2.mpg" id="two"/>
  </sequence-items>
  <pbc>
    <selection id="menu"><bsn>1</bsn><next ref="all"/><timeout ref="all"/><wait>5</wait>
      <loop jump-timing="delayed">3</loop><play-item ref="still"/>
      <select ref="play-one"/><select ref="play-two"/><select ref="from-b"/></selection>
    <playlist id="intro" rejected="true"><next ref="menu"/><wait>0</wait><play-item ref="motion"/></playlist>
    <playlist id="play-one"><return ref="menu"/><playtime>2.2</playtime><wait>70</wait><play-item ref="one"/></playlist>
    <playlist id="play-two"><return ref="menu"/><wait>-1</wait><play-item ref="two"/></playlist>
    <playlist id="from-b"><prev ref="menu"/><return ref="menu"/><play-item ref="one-b"/></playlist>
    <playlist id="all"><next ref="end"/><play-item ref="one"/><play-item ref="two"/></playlist>
    <endlist id="end"><next-volume>2</next-volume><play-item ref="still"/></endlist>
  </pbc>
</videocd>
)",
     {{"avseq01.mpg", "movie1.mpg"}, {"avseq02.mpg", "movie2.mpg"}, {"item0001.mpg", "still.mpg"},
      {"item0002.mpg", "motion.mpg"}},
     {{"DOCS_NOTES.TXT", "notes.txt"}, {"README.TXT", "readme.txt"}}},
    {"svcd", "clip movie.mpg 3 480x576 pal-svcd && still still.mpg 480x576 pal-svcd",
     R"(<videocd xmlns="http://www.gnu.org/software/vcdimager/1.0/" class="svcd" version="1.0">
  <info><album-id>SV</album-id><volume-count>1</volume-count><volume-number>1</volume-number></info>
  <pvd><volume-id>SVOL</volume-id><system-id>CD-RTOS CD-BRIDGE</system-id></pvd>
  <segment-items><segment-item src="still.mpg" id="still"/></segment-items>
  <sequence-items><sequence-item src="movie.mpg" id="m"><default-entry id="m0"/><entry id="m1">1.5</entry></sequence-item></sequence-items>
  <pbc>
    <playlist id="p"><next ref="e"/><wait>3</wait><play-item ref="still"/><play-item ref="m1"/></playlist>
    <endlist id="e"/>
  </pbc>
</videocd>
)",
     {{"avseq01.mpg", "movie.mpg"}, {"item0001.mpg", "still.mpg"}},
     {}},
    {"vcd11", "clip movie1.mpg 2 352x288 pal-vcd && clip movie2.mpg 2 352x288 pal-vcd",
     R"(<videocd xmlns="http://www.gnu.org/software/vcdimager/1.0/" class="vcd" version="1.1">
  <info><album-id>OLD</album-id><volume-count>1</volume-count><volume-number>1</volume-number></info>
  <pvd><volume-id>OLDVOL</volume-id><system-id>CD-RTOS CD-BRIDGE</system-id></pvd>
  <sequence-items><sequence-item src="movie1.mpg" id="a"/><sequence-item src="movie2.mpg" id="b"/></sequence-items>
</videocd>
)",
     {{"avseq01.mpg", "movie1.mpg"}, {"avseq02.mpg", "movie2.mpg"}},
     {}},
};

// Builds a disc from `xml` in `dir` and returns its image.
Image build_disc(const fs::path& dir, const std::string& xml)
{
    std::ofstream(dir / "in.xml") << doctype << xml;
    RunResult r = run_program_in(dir, {"vcdxbuild", "-T", build_time, "--cue-file=disc.cue", "--bin-file=disc.bin", "in.xml"});
    EXPECT_EQ(r.status, 0) << r.out;
    std::ifstream in(dir / "disc.bin", std::ios::binary);
    return Image{Bytes(std::istreambuf_iterator<char>(in), {})};
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
    Image img = build_disc(s.dir(), c.xml);
    ASSERT_FALSE(img.bytes.empty());

    DiscLayout d = read_layout(img);
    PlaybackParse pbc = read_playback_control(d);
    ASSERT_EQ(pbc.error, "");
    DiscTiming times = entry_times(img, d);
    std::string xml = disc_description_text(d, pbc.control.lists.empty() ? nullptr : &pbc.control, times);

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
    EXPECT_TRUE(same_bytes(Bytes(std::istreambuf_iterator<char>(in), {}), img.bytes)) << xml;
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

TEST(DiscDescription, EscapesTextAndKeepsCopiesApart)
{
    DiscLayout d;
    d.album_id = "Tom & \"Jerry\" <\xe9t\xe9>\x01";
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
    EXPECT_NE(xml.find("<album-id>Tom &amp; &quot;Jerry&quot; &lt;\xc3\xa9t\xc3\xa9&gt;?</album-id>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<folder>\n      <name>A</name>\n      <file src=\"A_B.TXT\" format=\"mixed\">"), std::string::npos) << xml;
    EXPECT_EQ(xml.find("INFO.VCD"), std::string::npos);
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

TEST(EntryTime, TimesCountFromTheLowestTimeStamp)
{
    EXPECT_EQ(entry_time_text(151200, 42218), "1.210911");
    EXPECT_EQ(entry_time_text(42218, 42218), "0.000000");
    EXPECT_EQ(entry_time_text(1000, 42218), "0.000000");
    // An MPEG-1 pack with a video packet (PTS 0.48 s) behind an audio one
    // (PTS 0.469089 s), then a packet cut short by the block's end.
    Bytes b = {0, 0, 1, 0xba, 0x21, 0, 1, 0, 1, 0x80, 0, 1};
    Bytes audio = {0, 0, 1, 0xc0, 0, 7, 0x21, 0x00, 0x03, 0x49, 0xd5};  // PTS 42218
    audio.resize(13, 0);
    Bytes video = {0, 0, 1, 0xe0, 0, 7, 0x21, 0x00, 0x03, 0x51, 0x81};  // PTS 43200
    video.resize(13, 0);
    b.insert(b.end(), audio.begin(), audio.end());
    b.insert(b.end(), video.begin(), video.end());
    Bytes cut = {0, 0, 1, 0xe0, 0xff, 0xff, 0x21};
    b.insert(b.end(), cut.begin(), cut.end());
    PackTimes t = pack_times(b);
    EXPECT_EQ(t.first_video, 43200u);
    EXPECT_EQ(t.lowest, 42218u);
    EXPECT_FALSE(pack_times(Bytes(2324, 0)).lowest.has_value());
}

}  // namespace
