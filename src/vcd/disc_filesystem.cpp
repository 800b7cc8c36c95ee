#include "vcd/disc_filesystem.h"

#include <cdio/iso9660.h>
#include <cdio/xa.h>
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "io/report.h"
#include "sector/sector_check.h"

namespace {

constexpr const char* not_a_video_cd_text =
    "%s has no VCD/INFO.VCD or SVCD/INFO.SVD: it is no Video CD or SVCD; -cue2mpg extracts its MPEG tracks.\n";
constexpr const char* damaged_text = "The disc's layout is damaged: %s\n";
constexpr const char* damaged_sector_text = "%s has a damaged sector at %s: %s.";
constexpr const char* audio_cd_text = "%s is an audio CD: it has no data track, so no Video CD or SVCD.\n";

// A directory tree deeper than this, or with more entries, is taken as a loop
// in the filesystem rather than a disc anyone made.
constexpr int max_depth = 8;
constexpr std::size_t max_files = 20000;
// The largest Video CD file read whole: LOT.VCD is 32 sectors, PSD.VCD at most 256.
constexpr std::uint32_t max_read_size = 1u << 20;

// ISO 9660: the primary volume descriptor at sector 16; a directory record
// gives its length at 0, its extent at 2 and its size at 10 (both
// little-endian there), its flags at 25, the length of its name at 32 and
// the name from 33 on, then (padded to an even offset) the system use area,
// where a CD-XA record says with its attribute word at 4 (big-endian)
// whether the file is stored in Form 2 sectors.
constexpr std::uint32_t pvd_sector = 16;
constexpr std::size_t root_record_at = 156;
constexpr std::size_t record_extent_at = 2, record_size_at = 10, record_flags_at = 25, record_name_at = 33;
constexpr std::uint8_t flag_directory = 0x02;
constexpr std::size_t xa_record_size = 14;
// The folders of a Video CD's or SVCD's own files.
constexpr const char* info_folders[] = {"VCD", "SVCD", "EXT"};

[[noreturn]] void damaged(const std::string& what)
{
    say(damaged_text, what.c_str());
    end_run(1);
}

std::uint32_t little_endian32(const std::uint8_t* p)
{
    return p[0] | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

std::string taken(char* text)
{
    std::string out = text ? text : "";
    std::free(text);
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

// The name as the directory gives it, without the ";1" version.
std::string plain_name(std::string out)
{
    if (std::size_t semicolon = out.rfind(';'); semicolon != std::string::npos)
        out.erase(semicolon);
    if (!out.empty() && out.back() == '.')
        out.pop_back();
    return out;
}

// A sector the layout is read from, with what it promises checked first: a
// damaged one ends the run before anything is written, naming `what` it
// belongs to. Sectors stored as their user data alone promise nothing and
// are taken as they are.
const std::uint8_t* checked_sector(const DiscImage& image, std::uint32_t lsn, const std::string& what,
                                   std::uint8_t mode = 2)
{
    const std::uint8_t* sector = read_disc_sector(image, lsn);
    const DiscRun* run = run_of(image, lsn);
    if (!framing_of(*run).checkable)
        return sector;
    std::uint16_t faults = check_sector(std::span<const std::uint8_t, raw_sector_size>(sector, raw_sector_size), lsn,
                                        mode) & damage_faults;
    if (faults)
        damaged(formatted(damaged_sector_text, what.c_str(), disc_time(lsn).c_str(), fault_names(faults).c_str()));
    return sector;
}

// The 2048 bytes of user data of a Form 1 sector.
const std::uint8_t* user_data(const DiscImage& image, std::uint32_t lsn, const std::string& what)
{
    return checked_sector(image, lsn, what) + form2_data_offset;
}

bool in_image(const DiscImage& image, std::uint32_t lsn, std::uint32_t sectors)
{
    return lsn <= image.sectors && sectors <= image.sectors - lsn;
}

// One directory record, whose `length` bytes lie in the sector.
DiscFile file_of_record(const std::uint8_t* r, std::size_t length, const std::string& folder)
{
    std::size_t name_length = r[record_name_at - 1];
    DiscFile file;
    file.path = folder + plain_name(std::string(reinterpret_cast<const char*>(r + record_name_at), name_length));
    file.lsn = little_endian32(r + record_extent_at);
    file.size = little_endian32(r + record_size_at);
    file.sectors = static_cast<std::uint32_t>((std::uint64_t{file.size} + ISO_BLOCKSIZE - 1) / ISO_BLOCKSIZE);
    file.directory = r[record_flags_at] & flag_directory;
    std::size_t system_use = record_name_at + name_length + (name_length % 2 == 0);
    if (system_use + xa_record_size <= length && std::memcmp(r + system_use + 6, "XA", 2) == 0) {
        unsigned attributes = unsigned{r[system_use + 4]} << 8 | r[system_use + 5];
        file.form2 = attributes & XA_ATTR_MODE2FORM2;
    }
    return file;
}

void list_folder(const DiscImage& image, const DiscFile& folder, int depth, std::vector<DiscFile>& files)
{
    std::string prefix = folder.path.empty() ? "" : folder.path + "/";
    if (depth > max_depth)
        damaged("the folders of its filesystem nest deeper than " + std::to_string(max_depth) + ".");
    if (folder.size > max_read_size || !in_image(image, folder.lsn, folder.sectors))
        damaged("the folder /" + prefix + " cannot be read.");
    std::vector<DiscFile> folders;
    for (std::uint32_t s = 0; s < folder.sectors; ++s) {
        const std::uint8_t* sector = user_data(image, folder.lsn + s, "the folder /" + prefix);
        std::array<std::uint8_t, ISO_BLOCKSIZE> bytes;
        std::memcpy(bytes.data(), sector, bytes.size());
        // Records never cross a sector's end; a zero length ends the sector's.
        for (std::size_t at = 0; at + record_name_at < bytes.size() && bytes[at] != 0;) {
            std::size_t length = bytes[at];
            const std::uint8_t* r = bytes.data() + at;
            if (length < record_name_at || at + length > bytes.size() || record_name_at + r[32] > length)
                damaged("the folder /" + prefix + " holds a broken entry.");
            at += length;
            // The first two records name the folder itself and its parent.
            if (r[32] == 0 || (r[32] == 1 && (r[record_name_at] == 0 || r[record_name_at] == 1)))
                continue;
            DiscFile file = file_of_record(r, length, prefix);
            files.push_back(file);
            if (file.directory)
                folders.push_back(file);
            if (files.size() > max_files)
                damaged("its filesystem lists more than " + std::to_string(max_files) + " files.");
        }
    }
    for (const DiscFile& child : folders)
        list_folder(image, child, depth + 1, files);
}

// A Form 1 file's bytes: 2048 of every sector, cut to its size.
std::vector<std::uint8_t> read_form1_file(const DiscImage& image, const DiscFile& file)
{
    if (file.size > max_read_size)
        damaged(file.path + " is " + std::to_string(file.size) + " bytes long.");
    std::vector<std::uint8_t> bytes;
    bytes.reserve(file.size);
    for (std::uint32_t s = 0; s < file.sectors; ++s) {
        const std::uint8_t* sector = checked_sector(image, file.lsn + s, file.path);
        std::size_t n = std::min<std::size_t>(ISO_BLOCKSIZE, file.size - bytes.size());
        bytes.insert(bytes.end(), sector + form2_data_offset, sector + form2_data_offset + n);
    }
    return bytes;
}

bool in_info_folder(const DiscFile& file)
{
    std::string_view path = file.path;
    std::size_t slash = path.find('/');
    if (slash == std::string_view::npos)
        return false;
    std::string top(path.substr(0, slash));
    for (char& c : top)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return std::any_of(std::begin(info_folders), std::end(info_folders), [&top](const char* f) { return top == f; });
}

const DiscFile* find_file(const DiscLayout& layout, std::string_view path)
{
    for (const DiscFile& file : layout.files)
        if (!file.directory && file.path.size() == path.size() &&
            std::equal(path.begin(), path.end(), file.path.begin(),
                       [](char a, char b) { return std::toupper(a) == std::toupper(b); }))
            return &file;
    return nullptr;
}

}  // namespace

DiscLayout read_disc_description(const DiscImage& image, const std::string& name)
{
    DiscLayout layout;
    layout.image_sectors = image.sectors;
    iso9660_pvd_t pvd;
    static_assert(sizeof pvd == ISO_BLOCKSIZE);
    if (!image.tracks.empty() && std::none_of(image.tracks.begin(), image.tracks.end(), [](const DiscTrack& t) {
            return t.mode == TrackMode::mode1 || t.mode == TrackMode::mode2;
        })) {
        say(audio_cd_text, name.c_str());
        end_run(1);
    }
    bool have_pvd = run_of(image, pvd_sector) != nullptr;
    if (have_pvd) {
        std::memcpy(&pvd, read_disc_sector(image, pvd_sector) + form2_data_offset, sizeof pvd);
        have_pvd = pvd.type == ISO_VD_PRIMARY && std::memcmp(pvd.id, ISO_STANDARD_ID, sizeof pvd.id) == 0;
    }
    if (!have_pvd) {
        say(not_a_video_cd_text, name.c_str());
        end_run(1);
    }
    // Only a sector that reads as a volume descriptor is held to its checks:
    // one that does not makes the image no Video CD rather than a damaged one.
    checked_sector(image, pvd_sector, "the volume descriptor", 0);
    layout.volume_id = taken(iso9660_get_volume_id(&pvd));
    layout.system_id = taken(iso9660_get_system_id(&pvd));
    layout.application_id = taken(iso9660_get_application_id(&pvd));
    layout.preparer_id = taken(iso9660_get_preparer_id(&pvd));
    layout.publisher_id = taken(iso9660_get_publisher_id(&pvd));
    layout.volume_set_id = taken(iso9660_get_volumeset_id(&pvd));
    const auto* root = reinterpret_cast<const std::uint8_t*>(&pvd) + root_record_at;
    DiscFile root_folder = file_of_record(root, record_name_at + 1, "");
    root_folder.path.clear();
    list_folder(image, root_folder, 0, layout.files);

    bool svcd = false;
    const DiscFile* info = find_file(layout, "VCD/INFO.VCD");
    if (!info && (info = find_file(layout, "SVCD/INFO.SVD")))
        svcd = true;
    if (!info) {
        say(not_a_video_cd_text, name.c_str());
        end_run(1);
    }
    // Every file of the info folders is read for the layout or described
    // from its bytes (TRACKS.SVD, SEARCH.DAT, SCANDATA.DAT among them).
    for (const DiscFile& file : layout.files)
        if (!file.directory && in_info_folder(file) && in_image(image, file.lsn, file.sectors))
            for (std::uint32_t s = 0; s < file.sectors; ++s)
                checked_sector(image, file.lsn + s, file.path);
    const char* folder = svcd ? "SVCD/" : "VCD/";
    const char* suffix = svcd ? ".SVD" : ".VCD";
    auto read_named = [&](const std::string& path, std::vector<std::uint8_t>& into) {
        if (const DiscFile* file = find_file(layout, path)) {
            if (file->lsn > image.sectors || file->sectors > image.sectors - file->lsn)
                damaged(file->path + " lies outside the image.");
            into = read_form1_file(image, *file);
        }
    };
    read_named(std::string(folder) + "INFO" + suffix, layout.info_file);
    read_named(std::string(folder) + "ENTRIES" + suffix, layout.entries_file);
    read_named(std::string(folder) + "PSD" + suffix, layout.psd);
    read_named(std::string(folder) + "LOT" + suffix, layout.lot);
    read_named("EXT/PSD_X" + std::string(suffix), layout.psd_x);
    read_named("EXT/LOT_X" + std::string(suffix), layout.lot_x);
    if (std::string error = read_disc_layout(layout); !error.empty())
        damaged(error);
    return layout;
}
