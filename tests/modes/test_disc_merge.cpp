// Merging reads of one disc: which copy of a sector is kept, the ddrescue
// map of the result, and a drive read in pieces, stopped, then resumed.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <dlfcn.h>
#include <fstream>
#include <pthread.h>

#include "fixtures.h"
#include "harness.h"
#include "image/drive_reader.h"
#include "image/image_formats.h"
#include "image/rescue_map.h"
#include "modes/disc2bin.h"
#include "modes/disc_merge.h"
#include "run/run_state.h"

namespace {

Bytes sample()
{
    std::ifstream f(std::string(MIVARO_TEST_DATA) + "/sample/sample.bin", std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

Bytes flipped(Bytes sector, std::size_t at)
{
    sector[at] ^= 0x10;
    return sector;
}

// The sample disc in a drive: failures[lsn] counts the reads of it that
// fail (-1: all); after stop_after sectors given it raises SIGINT once.
struct SampleDrive {
    const Bytes& disc;
    std::map<std::uint32_t, int> failures;
    std::uint32_t stop_after = ~0u;
    std::vector<std::uint32_t> asked;

    DiscRead read()
    {
        const auto sectors = static_cast<std::uint32_t>(disc.size() / 2352);
        DiscImage image;
        image.files.push_back({"drive", disc.size(), drive_byte_source([this](std::uint8_t* dst, std::uint32_t lsn, std::uint32_t n) {
                                   for (std::uint32_t k = 0; k < n; ++k) {
                                       asked.push_back(lsn + k);
                                       if (auto f = failures.find(lsn + k); f != failures.end() && f->second != 0) {
                                           f->second -= f->second > 0;
                                           return false;
                                       }
                                       std::copy_n(disc.begin() + (lsn + k) * 2352 + 16, 2336, dst + k * 2336);
                                       if (asked.size() == stop_after)
                                           std::raise(SIGINT);
                                   }
                                   return true;
                               }, sectors)});
        add_image_run(image, 0, 0, sectors, 0, 2352);
        return {"drive", std::move(image), true};
    }
};

bool threads_refused = false;

std::string map_statuses(const Scratch& s, const std::string& name)
{
    Bytes text = s.read(name);
    std::optional<std::vector<MapBlock>> blocks = parse_rescue_map({reinterpret_cast<const char*>(text.data()), text.size()});
    std::string out;
    for (const MapBlock& b : blocks.value_or(std::vector<MapBlock>{}))
        out += std::to_string(b.pos / 2352) + b.status + std::to_string(b.size / 2352) + " ";
    return out;
}

}  // namespace

// As a system out of threads or memory refuses them.
extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* arg)
{
    using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    static auto next = reinterpret_cast<Create>(::dlsym(RTLD_NEXT, "pthread_create"));
    return threads_refused ? EAGAIN : next(thread, attr, start, arg);
}

// A copy that proves itself is kept over any vote; where no copy proves
// itself (audio, an EDC not computed) the copies that hold vote, the
// earliest wins a tie; with no sound copy the vote is among all, damaged.
TEST(DiscMerge, KeepsTheCopyThatProvesItselfElseTheOneMostReadsAgreeOn)
{
    const Bytes disc = sample();
    const Bytes good = slice(disc, 500 * 2352, 2352), bad = flipped(good, 300), worse = flipped(good, 400);
    Bytes no_edc = good, other = good;
    std::fill(no_edc.end() - 4, no_edc.end(), 0);
    other = flipped(no_edc, 300);
    std::fill(other.end() - 4, other.end(), 0);
    struct Case {
        std::vector<const Bytes*> copies;
        std::uint8_t checks;
        std::size_t source;
        Kept kept;
    };
    const std::vector<Case> cases = {
        {{&bad, &bad, &good}, 2, 2, Kept::whole},
        {{&good, &bad, &bad}, 0, 0, Kept::whole},
        {{nullptr, &worse, &bad, &bad}, 2, 2, Kept::damaged},
        {{&worse, &bad}, 2, 0, Kept::damaged},
        {{&bad, &good, &bad}, nothing_to_check, 0, Kept::whole},  // audio: two of three agree
        {{&good, &bad, &bad, &good}, nothing_to_check, 0, Kept::whole},
        {{&other, &no_edc, &no_edc}, 2, 1, Kept::whole},
        {{&bad, &no_edc}, 2, 1, Kept::whole},
        {{nullptr, nullptr}, 2, 0, Kept::unread},
        {{&good}, 1, 0, Kept::damaged},  // a Mode 2 sector where the track says Mode 1
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        std::vector<const std::uint8_t*> copies;
        for (const Bytes* c : cases[i].copies)
            copies.push_back(c ? c->data() : nullptr);
        SectorChoice got = choose_copy(copies, 500, cases[i].checks);
        EXPECT_EQ(got.source, cases[i].source) << i;
        EXPECT_EQ(got.kept, cases[i].kept) << i;
        EXPECT_EQ(got.faults != 0, cases[i].kept == Kept::damaged) << i;
    }
}

TEST(DiscMerge, RescueMapsReadAsDdrescueWritesThem)
{
    std::vector<MapBlock> blocks;
    for (auto [pos, status] : {std::pair{0, '+'}, {1, '+'}, {2, '-'}, {3, '?'}, {4, '+'}})
        add_map_block(blocks, pos * 2352u, 2352, status);
    ASSERT_EQ(blocks.size(), 4u);
    std::string text = rescue_map_text(blocks);
    EXPECT_NE(text.find("0x00000000     ?"), std::string::npos);  // not finished while a block is unread
    std::optional<std::vector<MapBlock>> back = parse_rescue_map(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->size(), 4u);
    EXPECT_EQ((*back)[1].pos, 4704u);
    EXPECT_EQ((*back)[3].size, 2352u);
    EXPECT_TRUE(parse_rescue_map("# made by ddrescue\n0x0 + 1\n0x0 0x200 +\n0x200 0x200 -\n"));
    EXPECT_TRUE(parse_rescue_map("0x0 +\r\n0x0 0x200 +\r\n0x200 0x200 -\t\r\n"));
    for (const char* bad : {"", "0x0 +\n0x0 0x10 x\n", "0x0 +\n0x0 0x10 +x\n", "0x0 +x\n", "10 +\n", "0x0 +\n0x10 0x10 +\n0x0 0x10 +\n", "0x0 +\n0x0 0x10 + junk\n",
                            "0x0 +\n0x0 +\n", "0x0 +\n0x0 \n", "0x0 +\n0x0 0x10\n", "0xg +\n", "0x0 +\n0xFFFFFFFFFFFFFFFF 0x2 +\n"})
        EXPECT_FALSE(parse_rescue_map(bad)) << bad;
}

// A drive whose sector 5 never reads, stopped by SIGINT mid-pass: the image
// and map are written all the same, the rest marked not read. A resumed run
// stopped at once keeps every sector the first made whole; the next asks
// the drive only for what is not yet whole and completes the disc.
TEST(DiscMerge, ADriveStoppedMidPassKeepsWhatItReadAndIsResumed)
{
    const Bytes disc = sample();
    Scratch s;
    const std::string cue = s.path("rescue.cue").string();
    auto stopped_run = [&](std::map<std::uint32_t, int> failures, std::uint32_t stop_after) {
        std::freopen("/dev/null", "w", stdout);
        reset_run_state();
        SampleDrive drive{disc, failures, stop_after, {}};
        std::vector<DiscRead> reads;
        reads.push_back(drive.read());
        merge_disc_reads(std::move(reads), cue);
        std::exit(0);
    };
    EXPECT_EXIT(stopped_run({{5, -1}}, 600), testing::KilledBySignal(SIGINT), "");
    EXPECT_EQ(s.size("rescue.bin"), disc.size());
    const std::string first = map_statuses(s, "rescue.map");
    const std::size_t unread_at = first.rfind(' ', first.size() - 2) + 1;
    const std::uint32_t unread = static_cast<std::uint32_t>(std::stoul(first.substr(unread_at)));
    EXPECT_EQ(first.substr(0, 10), "0+5 5-1 6+");
    EXPECT_EQ(first.substr(unread_at), std::to_string(unread) + "?" + std::to_string(1196 - unread) + " ");
    EXPECT_GT(unread, 500u);
    EXPECT_TRUE(same_bytes(slice(s.read("rescue.bin"), 0, 5 * 2352), slice(disc, 0, 5 * 2352)));
    // The drive is asked for sector 16 (the same disc?), then sector 5.
    EXPECT_EXIT(stopped_run({}, 2), testing::KilledBySignal(SIGINT), "");
    EXPECT_EQ(map_statuses(s, "rescue.map"), "0+" + std::to_string(unread) + " " + first.substr(unread_at));
    EXPECT_TRUE(same_bytes(slice(s.read("rescue.bin"), 0, unread * 2352), slice(disc, 0, unread * 2352)));

    testing::internal::CaptureStdout();
    reset_run_state();
    SampleDrive drive{disc, {{5, 2}}, ~0u, {}};
    std::vector<DiscRead> reads;
    reads.push_back(drive.read());
    merge_disc_reads(std::move(reads), cue);
    std::string said = testing::internal::GetCapturedStdout();
    EXPECT_EQ(settings.exit_status, 0) << said;
    EXPECT_TRUE(same_bytes(s.read("rescue.bin"), disc));
    EXPECT_EQ(map_statuses(s, "rescue.map"), "0+1196 ");
    for (std::uint32_t lsn : drive.asked)  // the volume descriptor, the sector that failed, what was not read
        EXPECT_TRUE(lsn == 16 || lsn == 5 || lsn >= unread) << lsn;
    reset_run_state();
}

// Without a thread to write behind, the image is written on the run's own
// thread, in batches the writer's own buffer holds: the same bytes.
TEST(DiscMerge, WithoutAThreadToSpareTheImageIsTheSame)
{
    Scratch s;
    const std::string sheet = std::string(MIVARO_TEST_DATA) + "/sample/sample.cue";
    testing::internal::CaptureStdout();
    reset_run_state();
    std::vector<DiscRead> reads;
    reads.push_back({sheet, open_disc_image(sheet), false});
    threads_refused = true;
    merge_disc_reads(std::move(reads), s.path("one.cue").string());
    threads_refused = false;
    std::string said = testing::internal::GetCapturedStdout();
    EXPECT_EQ(settings.exit_status, 0) << said;
    EXPECT_TRUE(same_bytes(s.read("one.bin"), sample()));
    reset_run_state();
}
