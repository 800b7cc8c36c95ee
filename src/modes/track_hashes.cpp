#include "modes/track_hashes.h"

#include <openssl/evp.h>
#include <semaphore>
#include <thread>

#include "io/report.h"
#include "sector/edc.h"

namespace {

constexpr const char* track_name_text = "%.*s (Track %d).bin";
constexpr const char* track_name_wide_text = "%.*s (Track %02d).bin";
constexpr const char* rom_text = "<rom name=\"%s\" size=\"%llu\" crc=\"%08x\" md5=\"%s\" sha1=\"%s\"/>";

// Below this many bytes, waking the other thread costs more than it saves.
constexpr std::size_t shared_work_least = 64 * 1024;

struct Streams {
    EVP_MD_CTX* md5 = EVP_MD_CTX_new();
    EVP_MD_CTX* sha1 = EVP_MD_CTX_new();
};

void restart(Streams& s)
{
    EVP_DigestInit_ex(s.md5, EVP_md5(), nullptr);
    EVP_DigestInit_ex(s.sha1, EVP_sha1(), nullptr);
}

void update(Streams& s, std::span<const std::uint8_t> bytes)
{
    EVP_DigestUpdate(s.md5, bytes.data(), bytes.size());
    EVP_DigestUpdate(s.sha1, bytes.data(), bytes.size());
}

void finish(Streams& s, RomHashes& rom)
{
    EVP_DigestFinal_ex(s.md5, rom.md5.data(), nullptr);
    EVP_DigestFinal_ex(s.sha1, rom.sha1.data(), nullptr);
}

void free_streams(Streams& s)
{
    EVP_MD_CTX_free(s.md5);
    EVP_MD_CTX_free(s.sha1);
}

// The digests of what the streams hold so far, which go on unchanged.
void finish_copy(const Streams& s, RomHashes& rom)
{
    Streams copy;
    EVP_MD_CTX_copy_ex(copy.md5, s.md5);
    EVP_MD_CTX_copy_ex(copy.sha1, s.sha1);
    finish(copy, rom);
    free_streams(copy);
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
    // The disc's streams and both CRCs on a thread of their own, the track's
    // streams on the caller's, beside its checks.
    Streams disc;
    Streams track;
    RomHashes disc_rom;
    RomHashes track_rom;
    std::size_t file = 0;  // the track file being hashed
    std::vector<RomHashes> roms;
    std::span<const std::uint8_t> job;
    bool stop = false;
    std::binary_semaphore go{0};
    std::binary_semaphore done{0};
    std::thread worker;
};

void DiscHasherEnd::operator()(DiscHasher* h) const
{
    h->stop = true;
    h->go.release();
    h->worker.join();
    free_streams(h->disc);
    free_streams(h->track);
    delete h;
}

namespace {

void disc_work(DiscHasher& h, std::span<const std::uint8_t> bytes)
{
    update(h.disc, bytes);
    h.track_rom.crc = crc32_update(h.track_rom.crc, bytes);
    h.track_rom.size += bytes.size();
    h.disc_rom.crc = crc32_update(h.disc_rom.crc, bytes);
    h.disc_rom.size += bytes.size();
}

}  // namespace

DiscHashing start_disc_hashes()
{
    DiscHashing h(new DiscHasher);
    restart(h->disc);
    restart(h->track);
    DiscHasher* p = h.get();
    h->worker = std::thread([p] {
        for (;;) {
            p->go.acquire();
            if (p->stop)
                return;
            disc_work(*p, p->job);
            p->done.release();
        }
    });
    return h;
}

namespace {

// Track 1 starts with the disc: its file's digests are those the disc's
// streams hold at its end, and only later tracks need streams of their own.
void end_track(DiscHasher& h)
{
    bool first = h.file == 0;
    if (first)
        finish_copy(h.disc, h.track_rom);
    else
        finish(h.track, h.track_rom);
    h.roms.push_back(h.track_rom);
    if (!first)
        restart(h.track);
    h.track_rom = {};
    ++h.file;
}

}  // namespace

void hash_disc_bytes(DiscHasher& h, std::size_t track, std::span<const std::uint8_t> bytes)
{
    while (h.file < track)
        end_track(h);
    bool beside = bytes.size() >= shared_work_least;
    if (beside) {
        h.job = bytes;
        h.go.release();
    } else {
        disc_work(h, bytes);
    }
    if (h.file > 0)
        update(h.track, bytes);
    if (beside)
        h.done.acquire();
}

std::vector<RomHashes> finish_disc_hashes(DiscHasher& h, std::size_t tracks)
{
    while (h.file < tracks)
        end_track(h);
    finish(h.disc, h.disc_rom);
    std::vector<RomHashes> roms = std::move(h.roms);
    roms.push_back(h.disc_rom);
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
