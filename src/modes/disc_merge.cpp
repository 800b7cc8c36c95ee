#include "modes/disc_merge.h"

#include <cstring>

#include "io/report.h"
#include "sector/msf.h"
#include "sector/sector_check.h"

namespace {

constexpr const char* track_count_text = "one has %zu tracks, the other %zu";
constexpr const char* track_start_text = "track %d starts at %s in one, at %s in the other";
constexpr const char* pregap_text = "track %d has its INDEX 00 at %s in one, at %s in the other";
constexpr const char* volume_text = "their volume descriptors differ";

constexpr std::uint32_t volume_descriptor_lsn = 16;

bool holds(std::uint16_t faults)
{
    return !(faults & damage_faults);
}

// The earliest of the copies that most of the candidates equal byte for byte.
std::size_t most_agreed(std::span<const std::uint8_t* const> copies, std::span<const bool> candidate)
{
    std::size_t best = copies.size(), best_votes = 0;
    for (std::size_t i = 0; i < copies.size(); ++i) {
        if (!candidate[i])
            continue;
        std::size_t votes = 0;
        for (std::size_t j = 0; j < copies.size(); ++j)
            votes += candidate[j] && std::memcmp(copies[i], copies[j], raw_sector_size) == 0;
        if (votes > best_votes)
            best = i, best_votes = votes;
    }
    return best;
}

std::span<const std::uint8_t, raw_sector_size> raw(const std::uint8_t* sector)
{
    return std::span<const std::uint8_t, raw_sector_size>(sector, raw_sector_size);
}

// The volume descriptor's user data, where the read holds it whole.
const std::uint8_t* whole_descriptor(const DiscImage& image)
{
    const DiscRun* run = run_of(image, volume_descriptor_lsn);
    if (!run)
        return nullptr;
    if (image.files[run->file].source)  // a drive: one sector, not a read-ahead
        image_file(image, run->file)
            .read_ahead_until(run->offset + std::uint64_t{volume_descriptor_lsn + 1 - run->first_lsn} * run->sector_size);
    const std::uint8_t* sector = read_disc_sector(image, volume_descriptor_lsn);
    return holds(check_sector(raw(sector), volume_descriptor_lsn)) ? sector : nullptr;
}

}  // namespace

std::uint8_t checks_of(TrackMode mode)
{
    return mode == TrackMode::audio ? nothing_to_check : mode == TrackMode::mode1 ? 1 : mode == TrackMode::mode2 ? 2 : 0;
}

SectorChoice choose_copy(std::span<const std::uint8_t* const> copies, std::uint32_t lsn, std::uint8_t checks)
{
    constexpr std::size_t most_reads = 64;
    std::array<bool, most_reads> held{}, sound{};
    std::array<std::uint16_t, most_reads> faults{};
    const std::size_t n = std::min(copies.size(), most_reads);
    bool any_held = false, any_sound = false;
    for (std::size_t i = 0; i < n; ++i) {
        if (!copies[i])
            continue;
        held[i] = any_held = true;
        faults[i] = checks == nothing_to_check ? 0 : check_sector(raw(copies[i]), lsn, checks);
        if (!holds(faults[i]))
            continue;
        // A copy that proves itself settles it; one with nothing to prove
        // (audio, an EDC not computed) waits for the vote.
        if (checks != nothing_to_check && !(faults[i] & note_no_edc))
            return {i, Kept::whole, 0};
        sound[i] = any_sound = true;
    }
    if (!any_held)
        return {0, Kept::unread, 0};
    copies = copies.first(n);
    if (any_sound)
        return {most_agreed(copies, std::span(sound).first(n)), Kept::whole, 0};
    std::size_t chosen = most_agreed(copies, std::span(held).first(n));
    return {chosen, Kept::damaged, static_cast<std::uint16_t>(faults[chosen] & damage_faults)};
}

std::string disc_difference(const DiscImage& a, const DiscImage& b)
{
    if (!a.tracks.empty() && !b.tracks.empty()) {
        if (a.tracks.size() != b.tracks.size())
            return formatted(track_count_text, a.tracks.size(), b.tracks.size());
        for (std::size_t t = 0; t < a.tracks.size(); ++t) {
            const DiscTrack &x = a.tracks[t], &y = b.tracks[t];
            std::uint32_t x1 = x.first_lsn + x.pregap, y1 = y.first_lsn + y.pregap;
            if (x1 != y1)
                return formatted(track_start_text, x.number, disc_time(x1).c_str(), disc_time(y1).c_str());
            if (x.states_pregap && y.states_pregap && x.first_lsn != y.first_lsn)
                return formatted(pregap_text, x.number, disc_time(x.first_lsn).c_str(), disc_time(y.first_lsn).c_str());
        }
    }
    const std::uint8_t* da = whole_descriptor(a);
    const std::uint8_t* db = da ? whole_descriptor(b) : nullptr;
    if (da && db && std::memcmp(da + 16, db + 16, raw_sector_size - 16) != 0)
        return volume_text;
    return {};
}
