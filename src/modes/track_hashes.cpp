#include "modes/track_hashes.h"

#include <openssl/evp.h>
#include <semaphore>
#include <thread>
#include <zlib.h>

#include "io/report.h"
#include "sector/edc.h"
#include "sector/md5.h"

namespace {

constexpr const char* track_name_text = "%.*s (Track %d).bin";
constexpr const char* track_name_wide_text = "%.*s (Track %02d).bin";
constexpr const char* rom_text = "<rom name=\"%s\" size=\"%llu\" crc=\"%08x\" md5=\"%s\" sha1=\"%s\"/>";

// Below this many bytes, waking the other thread costs more than it saves.
constexpr std::size_t shared_work_least = 64 * 1024;

struct Sha1 {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
};

void restart(Sha1& s)
{
    EVP_DigestInit_ex(s.context, EVP_sha1(), nullptr);
}

void finish(Sha1& s, RomHashes& rom)
{
    EVP_DigestFinal_ex(s.context, rom.sha1.data(), nullptr);
}

// The digest of what the stream holds so far, which goes on unchanged.
void finish_copy(const Sha1& s, RomHashes& rom)
{
    Sha1 copy;
    EVP_MD_CTX_copy_ex(copy.context, s.context);
    finish(copy, rom);
    EVP_MD_CTX_free(copy.context);
}

std::string xml_escaped(std::string_view text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

}  // namespace

struct DiscHasher {
    // Both MD5 streams and the track's CRC on a thread of their own; both
    // SHA-1 streams (the processor's SHA instructions make them the lighter
    // load) on the caller's, beside its checks. The disc's CRC is put
    // together from the tracks' at the end.
    Md5Stream disc_md5, track_md5;
    Sha1 disc_sha1, track_sha1;
    RomHashes track_rom;
    std::size_t file = 0;  // the track file being hashed
    std::vector<RomHashes> roms;
    std::span<const std::uint8_t> job;
    bool busy = false;  // the thread has bytes the caller must keep
    bool stop = false;
    std::binary_semaphore go{0};
    std::binary_semaphore done{0};
    std::thread worker;
};

void DiscHasherEnd::operator()(DiscHasher* h) const
{
    hash_settle(*h);
    h->stop = true;
    h->go.release();
    h->worker.join();
    EVP_MD_CTX_free(h->disc_sha1.context);
    EVP_MD_CTX_free(h->track_sha1.context);
    delete h;
}

namespace {

// Track 1 starts with the disc, so until its end the disc's streams are its
// streams too.
void thread_work(DiscHasher& h, std::span<const std::uint8_t> bytes)
{
    if (h.file == 0)
        md5_update(h.disc_md5, bytes);
    else
        md5_update_both(h.disc_md5, h.track_md5, bytes);
    h.track_rom.crc = crc32_update(h.track_rom.crc, bytes);
    h.track_rom.size += bytes.size();
}

}  // namespace

DiscHashing start_disc_hashes()
{
    DiscHashing h(new DiscHasher);
    restart(h->disc_sha1);
    restart(h->track_sha1);
    DiscHasher* p = h.get();
    h->worker = std::thread([p] {
        for (;;) {
            p->go.acquire();
            if (p->stop)
                return;
            thread_work(*p, p->job);
            p->done.release();
        }
    });
    return h;
}

namespace {

void end_track(DiscHasher& h)
{
    RomHashes& rom = h.track_rom;
    if (h.file == 0) {
        rom.md5 = md5_digest(h.disc_md5);
        finish_copy(h.disc_sha1, rom);
    } else {
        rom.md5 = md5_digest(h.track_md5);
        finish(h.track_sha1, rom);
        restart(h.track_sha1);
    }
    h.track_md5 = {};
    h.roms.push_back(rom);
    rom = {};
    ++h.file;
}

}  // namespace

void hash_disc_bytes(DiscHasher& h, std::size_t track, std::span<const std::uint8_t> bytes, bool wait)
{
    hash_settle(h);
    while (h.file < track)
        end_track(h);
    bool beside = bytes.size() >= shared_work_least;
    if (beside) {
        h.job = bytes;
        h.busy = true;
        h.go.release();
    } else {
        thread_work(h, bytes);
    }
    EVP_DigestUpdate(h.disc_sha1.context, bytes.data(), bytes.size());
    if (h.file > 0)
        EVP_DigestUpdate(h.track_sha1.context, bytes.data(), bytes.size());
    if (wait)
        hash_settle(h);
}

void hash_settle(DiscHasher& h)
{
    if (h.busy)
        h.done.acquire();
    h.busy = false;
}

std::vector<RomHashes> finish_disc_hashes(DiscHasher& h, std::size_t tracks)
{
    hash_settle(h);
    while (h.file < tracks)
        end_track(h);
    RomHashes disc;
    disc.md5 = md5_digest(h.disc_md5);
    finish(h.disc_sha1, disc);
    for (const RomHashes& rom : h.roms) {
        disc.crc = static_cast<std::uint32_t>(crc32_combine(disc.crc, rom.crc, static_cast<z_off_t>(rom.size)));
        disc.size += rom.size;
    }
    std::vector<RomHashes> roms = std::move(h.roms);
    roms.push_back(disc);
    return roms;
}

std::string track_file_name(std::string_view base, int track, std::size_t tracks)
{
    return formatted(tracks >= 10 ? track_name_wide_text : track_name_text, static_cast<int>(base.size()), base.data(),
                     track);
}

std::string rom_line(std::string_view name, const RomHashes& rom)
{
    return formatted(rom_text, xml_escaped(name).c_str(), static_cast<unsigned long long>(rom.size),
                     static_cast<unsigned>(rom.crc), lower_hex(rom.md5).c_str(), lower_hex(rom.sha1).c_str());
}

std::string lower_hex(std::span<const std::uint8_t> bytes)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}
