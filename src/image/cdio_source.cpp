#include "image/cdio_source.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <libvcd/logging.h>
#include <algorithm>
#include <memory>

#include "image/drive_reader.h"
#include "io/report.h"
#include "sector/formats.h"

namespace {

void ignore_cdio_log(cdio_log_level_t, const char*) {}
void ignore_vcd_log(vcd_log_level_t, const char*) {}

TrackMode mode_of(track_format_t format)
{
    switch (format) {
    case TRACK_FORMAT_AUDIO:
        return TrackMode::audio;
    case TRACK_FORMAT_DATA:
        return TrackMode::mode1;
    case TRACK_FORMAT_XA:
    case TRACK_FORMAT_CDI:
        return TrackMode::mode2;
    default:
        return TrackMode::unknown;
    }
}

}  // namespace

std::optional<DiscImage> open_cdio_image(const std::string& path)
{
    // Whatever libcdio has to say would land among the program's own lines.
    silence_cdio_logs();
    std::shared_ptr<CdIo_t> device(cdio_open(path.c_str(), DRIVER_DEVICE), [](CdIo_t* d) {
        if (d)
            cdio_destroy(d);
    });
    if (!device)
        return std::nullopt;
    lsn_t end = cdio_get_disc_last_lsn(device.get());
    if (end == CDIO_INVALID_LSN || end <= 0 || std::uint64_t(end) > max_input_size / raw_sector_size)
        return std::nullopt;
    auto sectors = static_cast<std::uint32_t>(end);
    Mode2Reads reads = [device](std::uint8_t* dst, std::uint32_t lsn, std::uint32_t count) {
        for (std::uint32_t done = 0; done < count; done += drive_batch_sectors) {
            std::uint32_t n = std::min(drive_batch_sectors, count - done);
            std::uint8_t* to = dst + std::size_t{done} * M2RAW_SECTOR_SIZE;
            if (cdio_read_mode2_sectors(device.get(), to, static_cast<lsn_t>(lsn + done), true, n) != DRIVER_OP_SUCCESS)
                return false;
        }
        return true;
    };
    DiscImage image;
    image.files.push_back({path, std::uint64_t{sectors} * raw_sector_size, drive_byte_source(reads, sectors)});
    add_image_run(image, 0, 0, sectors, 0, raw_sector_size);
    track_t first = cdio_get_first_track_num(device.get());
    track_t last = cdio_get_last_track_num(device.get());
    if (first == CDIO_INVALID_TRACK || last == CDIO_INVALID_TRACK)
        return image;
    for (track_t t = first; t <= last && t < CDIO_CDROM_LEADOUT_TRACK; ++t) {
        lsn_t lsn = cdio_get_track_lsn(device.get(), t);
        if (lsn != CDIO_INVALID_LSN && lsn >= 0 && static_cast<std::uint32_t>(lsn) < sectors)
            image.tracks.push_back({t, static_cast<std::uint32_t>(lsn), mode_of(cdio_get_track_format(device.get(), t))});
    }
    return image;
}

void silence_cdio_logs()
{
    cdio_log_set_handler(ignore_cdio_log);
    vcd_log_set_handler(ignore_vcd_log);
}

namespace {

constexpr const char* drive_failed_text = "%s could not be read as a disc in a drive.\n";

DiscImage open_drive(const std::string& name)
{
    std::optional<DiscImage> image = open_cdio_image(name);
    if (!image) {
        say(drive_failed_text, name.c_str());
        end_run(1);
    }
    return std::move(*image);
}

bool claims_device(const ImageProbe& p)
{
    return p.device;
}

}  // namespace

const ImageFormat drive_format{"a disc in a drive", ImageKind::described, claims_device, open_drive};
