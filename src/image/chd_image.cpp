#include "image/chd_image.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "image/chd_format.h"
#include "image/chd_hunks.h"
#include "io/report.h"
#include "io/text.h"
#include "sector/sector_check.h"

namespace {

constexpr const char* damaged_hunk_text = "\nHunk %u of %s (%s to %s) is damaged, %s: its sectors are read as zeros.\n";
constexpr const char* hunk_note_text = "hunk %u: %s";
constexpr const char* crc_text = "CRC";
constexpr const char* undecodable_text = "does not decode";
constexpr const char* unread_text = "could not be read";
constexpr const char* codec_text = "its hunks are kept by the codec %s, which this program does not read";
constexpr const char* metadata_past_end_text = "its metadata lies past its end";
constexpr const char* tracks_past_hunks_text = "its tracks run past its hunks";

constexpr std::size_t max_map_bytes = 64u << 20;
constexpr std::size_t max_track_text = 4096;
constexpr int max_metadata_entries = 1000;
// The cache of decoded hunks stays under this.
constexpr std::size_t max_cache_bytes = 16u << 20;

enum class HunkFault : std::uint8_t { none, crc, undecodable, unread };

struct HunkSlot {
    std::uint32_t hunk = ~0u;
    bool queued = false;  // waiting for a worker or being decoded
    HunkFault fault = HunkFault::none;
    std::vector<std::uint8_t> bytes;
};

bool read_at(int fd, std::uint64_t at, std::span<std::uint8_t> into)
{
    for (std::size_t got = 0; got < into.size();) {
        ssize_t n = ::pread(fd, into.data() + got, into.size() - got, static_cast<off_t>(at + got));
        if (n <= 0)
            return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

// The decoded frames of a CHD, hunk by hunk: workers decode the hunks the
// reader wants and those after it into slots, slot h % slots for hunk h.
struct ChdSource {
    std::string name;
    int fd = -1;
    ChdHeader header;
    std::vector<HunkEntry> map;
    std::vector<ChdRegion> regions;
    std::shared_ptr<ImageDamageLog> damage;
    std::vector<bool> noted;

    std::mutex lock;
    std::condition_variable work, done;
    std::deque<std::size_t> queue;
    std::vector<HunkSlot> slots;
    std::vector<std::thread> workers;
    bool stopping = false;

    ~ChdSource()
    {
        {
            std::lock_guard hold(lock);
            stopping = true;
        }
        work.notify_all();
        for (std::thread& w : workers)
            w.join();
        if (fd >= 0)
            ::close(fd);
    }
};

HunkFault decode_hunk(const ChdSource& chd, HunkDecoders& decoders, std::vector<std::uint8_t>& stored,
                      std::uint32_t h, std::span<std::uint8_t> out)
{
    const HunkEntry& e = chd.map[h];
    if (e.zeros) {
        std::fill(out.begin(), out.end(), 0);
        return HunkFault::none;
    }
    stored.resize(e.length);
    if (!read_at(chd.fd, e.offset, stored))
        return HunkFault::unread;
    if (e.store == HunkStore::plain)
        std::memcpy(out.data(), stored.data(), out.size());
    else if (!decode_cd_hunk(decoders, chd.header.codecs[static_cast<int>(e.store)], stored, out))
        return HunkFault::undecodable;
    // Only the coded map carries the hunks' CRCs.
    if (chd.header.codecs[0] != 0 && chd_crc16(out) != e.crc)
        return HunkFault::crc;
    return HunkFault::none;
}

void work_hunks(ChdSource* chd)
{
    HunkDecodersPtr decoders = make_hunk_decoders(chd->header.hunk_bytes);
    std::vector<std::uint8_t> stored;
    std::unique_lock hold(chd->lock);
    for (;;) {
        chd->work.wait(hold, [chd] { return chd->stopping || !chd->queue.empty(); });
        if (chd->stopping)
            return;
        HunkSlot& slot = chd->slots[chd->queue.front()];
        chd->queue.pop_front();
        hold.unlock();
        HunkFault fault = decode_hunk(*chd, *decoders, stored, slot.hunk, slot.bytes);
        if (fault != HunkFault::none)
            std::fill(slot.bytes.begin(), slot.bytes.end(), 0);
        hold.lock();
        slot.fault = fault;
        slot.queued = false;
        chd->done.notify_all();
    }
}

// Hands slot `s` to hunk h and queues it; the caller holds the lock.
void queue_hunk(ChdSource& chd, std::size_t s, std::uint32_t h)
{
    chd.slots[s].hunk = h;
    chd.slots[s].queued = true;
    chd.queue.push_back(s);
    chd.work.notify_one();
}

const HunkSlot& hunk_slot(ChdSource& chd, std::uint32_t h)
{
    std::unique_lock hold(chd.lock);
    const std::size_t n = chd.slots.size();
    HunkSlot& slot = chd.slots[h % n];
    if (slot.hunk != h) {
        chd.done.wait(hold, [&slot] { return !slot.queued; });
        queue_hunk(chd, h % n, h);
    }
    for (std::uint32_t next = h + 1; next < chd.header.hunks && next - h < n - 1; ++next)
        if (chd.slots[next % n].hunk != next && !chd.slots[next % n].queued)
            queue_hunk(chd, next % n, next);
    chd.done.wait(hold, [&slot] { return !slot.queued; });
    return slot;
}

// Disc sector of a frame, where a track holds it.
std::optional<std::uint32_t> lsn_of_frame(const ChdSource& chd, std::uint64_t frame)
{
    std::uint32_t lsn = 0;
    for (const ChdRegion& r : chd.regions) {
        if (frame >= r.first_frame && frame - r.first_frame < r.frames)
            return lsn + static_cast<std::uint32_t>(frame - r.first_frame);
        lsn += r.frames;
    }
    return std::nullopt;
}

void note_damage(ChdSource& chd, std::uint32_t h, HunkFault fault)
{
    if (chd.noted[h])
        return;
    chd.noted[h] = true;
    const std::uint32_t per_hunk = chd.header.hunk_bytes / chd_frame_size;
    std::optional<std::uint32_t> first, last;
    for (std::uint64_t f = std::uint64_t{h} * per_hunk; f < std::uint64_t{h + 1} * per_hunk; ++f)
        if (std::optional<std::uint32_t> lsn = lsn_of_frame(chd, f)) {
            first = first.value_or(*lsn);
            last = lsn;
        }
    if (!first)
        return;
    const char* why = fault == HunkFault::crc ? crc_text : fault == HunkFault::undecodable ? undecodable_text
                                                                                           : unread_text;
    chd.damage->found.push_back({*first, *last - *first + 1, formatted(hunk_note_text, h, why)});
    if (!chd.damage->quiet)
        say(damaged_hunk_text, h, chd.name.c_str(), disc_time(*first).c_str(), disc_time(*last).c_str(), why);
}

std::size_t read_frames(ChdSource& chd, std::uint8_t* dst, std::size_t n, std::uint64_t at)
{
    std::size_t given = 0;
    while (given < n) {
        const std::uint64_t pos = at + given;
        auto r = std::upper_bound(chd.regions.begin(), chd.regions.end(), pos,
                                  [](std::uint64_t p, const ChdRegion& region) { return p < region.at; });
        if (r == chd.regions.begin())
            break;
        --r;
        const std::uint64_t sector = (pos - r->at) / r->size;
        if (sector >= r->frames)
            break;
        const auto skip = static_cast<std::size_t>((pos - r->at) % r->size);
        const std::uint64_t byte = (r->first_frame + sector) * chd_frame_size;
        const auto h = static_cast<std::uint32_t>(byte / chd.header.hunk_bytes);
        const HunkSlot& slot = hunk_slot(chd, h);
        if (slot.fault != HunkFault::none)
            note_damage(chd, h, slot.fault);
        const std::uint8_t* frame = slot.bytes.data() + byte % chd.header.hunk_bytes;
        const std::size_t take = std::min<std::size_t>(r->size - skip, n - given);
        if (r->audio) {
            // Audio is kept with the bytes of each sample swapped.
            for (std::size_t i = skip; i < skip + take; ++i)
                dst[given + i - skip] = i < chd_sector_bytes ? frame[i ^ 1] : frame[i];
        } else {
            std::memcpy(dst + given, frame + skip, take);
        }
        given += take;
    }
    return given;
}

std::string track_texts(int fd, std::uint64_t file_size, std::uint64_t offset, std::vector<std::string>& texts)
{
    for (int count = 0; offset != 0; ++count) {
        std::array<std::uint8_t, 16> head{};
        if (count == max_metadata_entries || offset > file_size || file_size - offset < head.size() ||
            !read_at(fd, offset, head))
            return metadata_past_end_text;
        std::uint32_t length = static_cast<std::uint32_t>(head[5] << 16 | head[6] << 8 | head[7]);
        bool track = std::memcmp(head.data(), "CHT2", 4) == 0 || std::memcmp(head.data(), "CHTR", 4) == 0;
        if (std::memcmp(head.data(), "CHGD", 4) == 0)
            return "it holds a GD-ROM";
        if (track) {
            std::string text(std::min<std::size_t>(length, max_track_text), '\0');
            if (file_size - offset - head.size() < text.size() ||
                !read_at(fd, offset + head.size(), {reinterpret_cast<std::uint8_t*>(text.data()), text.size()}))
                return metadata_past_end_text;
            texts.push_back(text);
        }
        offset = 0;
        for (int i = 8; i < 16; ++i)
            offset = offset << 8 | head[i];
    }
    return {};
}

std::string open_chd(ChdSource& chd, std::uint64_t file_size, ChdLayout& layout)
{
    std::array<std::uint8_t, chd_header_size> head{};
    std::size_t got = static_cast<std::size_t>(std::min<std::uint64_t>(file_size, head.size()));
    if (!read_at(chd.fd, 0, std::span(head).first(got)))
        return "it could not be read";
    if (std::string error = parse_chd_header(std::span(head).first(got), file_size, chd.header); !error.empty())
        return error;
    for (std::uint32_t tag : chd.header.codecs)
        if (tag != 0 && !chd_codec_known(tag)) {
            char name[5] = {char(tag >> 24), char(tag >> 16), char(tag >> 8), char(tag), 0};
            for (char& c : std::span(name, 4))
                c = c >= ' ' && c <= '~' ? c : '?';
            return formatted(codec_text, name);
        }
    std::vector<std::uint8_t> map(16);
    std::uint64_t room = file_size - chd.header.map_offset;
    if (room < map.size() && chd.header.codecs[0] != 0)
        return chd_map_past_end_text;
    map.resize(std::min<std::uint64_t>(room, map.size()));
    std::uint64_t wanted = 0;
    if (!read_at(chd.fd, chd.header.map_offset, map) ||
        (wanted = chd_map_bytes_wanted(chd.header, map)) > room || wanted > max_map_bytes)
        return chd_map_past_end_text;
    map.resize(static_cast<std::size_t>(wanted));
    if (!read_at(chd.fd, chd.header.map_offset, map))
        return chd_map_past_end_text;
    if (std::string error = parse_chd_map(map, chd.header, file_size, chd.map); !error.empty())
        return error;
    std::vector<std::string> texts;
    if (std::string error = track_texts(chd.fd, file_size, chd.header.meta_offset, texts); !error.empty())
        return error;
    layout = chd_layout(texts);
    if (!layout.layout.error.empty())
        return layout.layout.error;
    if (layout.frames * chd_frame_size > std::uint64_t{chd.header.hunks} * chd.header.hunk_bytes)
        return tracks_past_hunks_text;
    return {};
}

void start_workers(ChdSource& chd)
{
    const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 16u);
    const std::size_t slots = std::clamp<std::size_t>(max_cache_bytes / chd.header.hunk_bytes, threads + 2,
                                                      4 * std::size_t{threads} + 4);
    chd.slots.resize(slots);
    for (HunkSlot& slot : chd.slots)
        slot.bytes.resize(chd.header.hunk_bytes);
    for (unsigned i = 0; i < threads; ++i)
        chd.workers.emplace_back(work_hunks, &chd);
}

}  // namespace

DiscImage open_chd_image(const std::string& name)
{
    DiscImage image = image_of_file(name);
    auto chd = std::make_shared<ChdSource>();
    chd->name = name;
    chd->fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (chd->fd < 0) {
        say_unopenable(name);
        end_run(1);
    }
    ChdLayout layout;
    if (std::string error = open_chd(*chd, image.files[0].size, layout); !error.empty())
        refuse_image(name, chd_format, error);
    chd->regions = layout.regions;
    chd->damage = image.damage;
    chd->noted.assign(chd->header.hunks, false);
    start_workers(*chd);
    const ChdRegion& last = layout.regions.back();
    image.files[0].size = last.at + std::uint64_t{last.frames} * last.size;
    image.files[0].source = [chd](std::uint8_t* dst, std::size_t n, std::uint64_t at) {
        return read_frames(*chd, dst, n, at);
    };
    if (std::string error = image_of_layout(image, layout.layout); !error.empty())
        refuse_image(name, chd_format, error);
    return image;
}

namespace {

bool claims_chd(const ImageProbe& p)
{
    return (p.head.size() >= 8 && std::memcmp(p.head.data(), "MComprHD", 8) == 0) || ends_folded(p.name, ".chd");
}

}  // namespace

const ImageFormat chd_format{"a CHD", ImageKind::described, claims_chd, open_chd_image};
