#include "vcd/disc_filesystem.h"

#include <cdio/bytesex.h>
#include <cdio/iso9660.h>
#include <cstdlib>
#include <functional>
#include <memory>

#include "image/cdio_source.h"

#include "run/run_state.h"

namespace {

constexpr const char* not_a_video_cd_text =
    "%s has no VCD/INFO.VCD or SVCD/INFO.SVD: it is no Video CD or SVCD; -cue2mpg extracts its MPEG tracks.\n";
constexpr const char* damaged_text = "The disc's layout is damaged: %s\n";

// A directory tree deeper than this, or with more entries, is taken as a loop
// in the filesystem rather than a disc anyone made.
constexpr int max_depth = 8;
constexpr std::size_t max_files = 20000;
// The largest Video CD file read whole: LOT.VCD is 32 sectors, PSD.VCD at most 256.
constexpr std::uint32_t max_read_size = 1u << 20;

[[noreturn]] void damaged(const std::string& what)
{
    say(damaged_text, what.c_str());
    end_run(1);
}

struct IsoClose {
    void operator()(iso9660_t* iso) const { iso9660_close(iso); }
};
using IsoImage = std::unique_ptr<iso9660_t, IsoClose>;

std::string taken(char* text)
{
    std::string out = text ? text : "";
    std::free(text);
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

// The name as the directory gives it, without the ";1" version.
std::string plain_name(const char* name)
{
    std::string out = name;
    if (std::size_t semicolon = out.rfind(';'); semicolon != std::string::npos)
        out.erase(semicolon);
    if (!out.empty() && out.back() == '.')
        out.pop_back();
    return out;
}

// The entries of a folder, through whichever reader the image needs.
using FolderReader = std::function<CdioISO9660FileList_t*(const char* path)>;

void list_folder(const FolderReader& read_folder, const std::string& folder, int depth, std::vector<DiscFile>& files)
{
    if (depth > max_depth)
        damaged("the folders of its filesystem nest deeper than " + std::to_string(max_depth) + ".");
    CdioISO9660FileList_t* list = read_folder(folder.empty() ? "/" : folder.c_str());
    if (!list)
        damaged("the folder /" + folder + " cannot be read.");
    std::vector<std::string> folders;
    CdioListNode_t* node;
    _CDIO_LIST_FOREACH (node, list) {
        const auto* stat = static_cast<const iso9660_stat_t*>(_cdio_list_node_data(node));
        std::string name = stat->filename;
        if (name == "." || name == ".." || name.empty())
            continue;
        DiscFile file;
        file.path = folder + plain_name(stat->filename);
        file.lsn = static_cast<std::uint32_t>(stat->lsn);
        file.size = stat->size;
        file.sectors = static_cast<std::uint32_t>((std::uint64_t{stat->size} + ISO_BLOCKSIZE - 1) / ISO_BLOCKSIZE);
        file.directory = stat->type == iso9660_stat_s::_STAT_DIR;
        file.form2 = stat->b_xa && (uint16_from_be(stat->xa.attributes) & XA_ATTR_MODE2FORM2);
        files.push_back(file);
        if (file.directory)
            folders.push_back(file.path + "/");
    }
    iso9660_filelist_free(list);
    if (files.size() > max_files)
        damaged("its filesystem lists more than " + std::to_string(max_files) + " files.");
    for (const std::string& child : folders)
        list_folder(read_folder, child, depth + 1, files);
}

// A Form 1 file's bytes: 2048 of every sector, cut to its size.
std::vector<std::uint8_t> read_form1_file(const DiscImage& image, const DiscFile& file)
{
    if (file.size > max_read_size)
        damaged(file.path + " is " + std::to_string(file.size) + " bytes long.");
    std::vector<std::uint8_t> bytes;
    bytes.reserve(file.size);
    for (std::uint32_t s = 0; s < file.sectors; ++s) {
        const std::uint8_t* sector = read_disc_sector(image, file.lsn + s);
        std::size_t n = std::min<std::size_t>(ISO_BLOCKSIZE, file.size - bytes.size());
        bytes.insert(bytes.end(), sector + form2_data_offset, sector + form2_data_offset + n);
    }
    return bytes;
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

DiscLayout read_disc_description(const DiscImage& image)
{
    DiscLayout layout;
    layout.image_sectors = image.sectors;
    const DiscRun* first = run_of(image, 16);
    // A file-backed image is read by libiso9660 from the file that starts
    // the disc, whatever its framing; libcdio's sources through libcdio.
    IsoImage iso;
    CdIo_t* device = first && bin_images[first->bin].source ? cdio_source() : nullptr;
    if (!device && first && first->first_lsn == 0 && first->offset == 0)
        iso.reset(iso9660_open_fuzzy_ext(bin_images[first->bin].path.c_str(), ISO_EXTENSION_NONE, 20));
    iso9660_pvd_t pvd;
    bool have_pvd = device ? iso9660_fs_read_pvd(device, &pvd) : iso && iso9660_ifs_read_pvd(iso.get(), &pvd);
    if (!have_pvd) {
        say(not_a_video_cd_text, io.input_name.c_str());
        end_run(1);
    }
    layout.volume_id = taken(iso9660_get_volume_id(&pvd));
    layout.system_id = taken(iso9660_get_system_id(&pvd));
    layout.application_id = taken(iso9660_get_application_id(&pvd));
    layout.preparer_id = taken(iso9660_get_preparer_id(&pvd));
    layout.publisher_id = taken(iso9660_get_publisher_id(&pvd));
    layout.volume_set_id = taken(iso9660_get_volumeset_id(&pvd));
    FolderReader read_folder = [&](const char* path) {
        return device ? iso9660_fs_readdir(device, path) : iso9660_ifs_readdir(iso.get(), path);
    };
    list_folder(read_folder, "", 0, layout.files);

    bool svcd = false;
    const DiscFile* info = find_file(layout, "VCD/INFO.VCD");
    if (!info && (info = find_file(layout, "SVCD/INFO.SVD")))
        svcd = true;
    if (!info) {
        say(not_a_video_cd_text, io.input_name.c_str());
        end_run(1);
    }
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
