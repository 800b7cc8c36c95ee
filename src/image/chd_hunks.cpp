#include "image/chd_hunks.h"

#include <FLAC/stream_decoder.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "image/chd_format.h"
#include "sector/msf.h"
#include "sector/sector_check.h"

namespace {

constexpr std::uint32_t subchannel_bytes = chd_frame_size - chd_sector_bytes;

// FLAC in a CHD is bare frames: the decoder gets a stream head made up for
// it, 44.1 kHz stereo 16-bit with the block size the writer chose.
constexpr std::size_t flac_head_size = 42;

struct FlacFeed {
    std::array<std::uint8_t, flac_head_size> head{};
    std::span<const std::uint8_t> data;
    std::uint64_t given = 0;   // bytes handed to the decoder, head first
    std::uint8_t* out = nullptr;
    std::size_t out_samples = 0, wanted_samples = 0;  // stereo pairs
    bool failed = false;
};

FLAC__StreamDecoderReadStatus flac_read(const FLAC__StreamDecoder*, FLAC__byte buffer[], std::size_t* bytes,
                                        void* context)
{
    auto& feed = *static_cast<FlacFeed*>(context);
    std::size_t n = 0;
    while (n < *bytes && feed.given < flac_head_size + feed.data.size()) {
        std::uint64_t at = feed.given;
        std::span<const std::uint8_t> from = at < flac_head_size ? std::span<const std::uint8_t>(feed.head).subspan(at)
                                                                  : feed.data.subspan(at - flac_head_size);
        std::size_t take = std::min(*bytes - n, from.size());
        std::memcpy(buffer + n, from.data(), take);
        n += take;
        feed.given += take;
    }
    *bytes = n;
    return n == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
}

FLAC__StreamDecoderTellStatus flac_tell(const FLAC__StreamDecoder*, FLAC__uint64* offset, void* context)
{
    *offset = static_cast<FlacFeed*>(context)->given;
    return FLAC__STREAM_DECODER_TELL_STATUS_OK;
}

// The samples go out big-endian, as the writer read them.
FLAC__StreamDecoderWriteStatus flac_write(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                          const FLAC__int32* const channels[], void* context)
{
    auto& feed = *static_cast<FlacFeed*>(context);
    if (frame->header.channels != 2 || frame->header.blocksize > feed.wanted_samples - feed.out_samples) {
        feed.failed = true;
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    std::uint8_t* out = feed.out + feed.out_samples * 4;
    for (unsigned i = 0; i < frame->header.blocksize; ++i)
        for (int ch = 0; ch < 2; ++ch) {
            auto s = static_cast<std::uint16_t>(channels[ch][i]);
            *out++ = static_cast<std::uint8_t>(s >> 8);
            *out++ = static_cast<std::uint8_t>(s);
        }
    feed.out_samples += frame->header.blocksize;
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void flac_error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* context)
{
    static_cast<FlacFeed*>(context)->failed = true;
}

}  // namespace

struct HunkDecoders {
    z_stream zlib{};
    bool zlib_ready = false;
    lzma_stream lzma = LZMA_STREAM_INIT;
    lzma_options_lzma lzma_options{};
    ZSTD_DCtx* zstd = nullptr;
    FLAC__StreamDecoder* flac = nullptr;
    std::vector<std::uint8_t> buffer;  // the sectors, then the subchannel
};

void HunkDecodersFree::operator()(HunkDecoders* d) const
{
    if (d->zlib_ready)
        inflateEnd(&d->zlib);
    lzma_end(&d->lzma);
    ZSTD_freeDCtx(d->zstd);
    if (d->flac)
        FLAC__stream_decoder_delete(d->flac);
    delete d;
}

HunkDecodersPtr make_hunk_decoders(std::uint32_t hunk_bytes)
{
    HunkDecodersPtr d(new HunkDecoders);
    d->zlib_ready = inflateInit2(&d->zlib, -MAX_WBITS) == Z_OK;
    // The writer's LZMA settings: level 8 with the hunk as the whole input,
    // literal context 3, no literal position, position bits 2 and no end
    // mark; a dictionary as large as the hunk holds every distance.
    lzma_lzma_preset(&d->lzma_options, 8);
    d->lzma_options.dict_size = std::max<std::uint32_t>(hunk_bytes, LZMA_DICT_SIZE_MIN);
    d->lzma_options.lc = 3;
    d->lzma_options.lp = 0;
    d->lzma_options.pb = 2;
    d->zstd = ZSTD_createDCtx();
    d->flac = FLAC__stream_decoder_new();
    d->buffer.resize(hunk_bytes);
    return d;
}

bool chd_codec_known(std::uint32_t tag)
{
    return tag == chd_codec_tag("cdlz") || tag == chd_codec_tag("cdzl") || tag == chd_codec_tag("cdfl") ||
           tag == chd_codec_tag("cdzs");
}

namespace {

bool inflate_all(HunkDecoders& d, std::span<const std::uint8_t> in, std::span<std::uint8_t> out)
{
    if (!d.zlib_ready || inflateReset(&d.zlib) != Z_OK)
        return false;
    d.zlib.next_in = const_cast<Bytef*>(in.data());
    d.zlib.avail_in = static_cast<uInt>(in.size());
    d.zlib.next_out = out.data();
    d.zlib.avail_out = static_cast<uInt>(out.size());
    int status = inflate(&d.zlib, Z_FINISH);
    return (status == Z_STREAM_END || status == Z_OK || status == Z_BUF_ERROR) && d.zlib.avail_out == 0;
}

bool unlzma_all(HunkDecoders& d, std::span<const std::uint8_t> in, std::span<std::uint8_t> out)
{
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &d.lzma_options}, {LZMA_VLI_UNKNOWN, nullptr}};
    if (lzma_raw_decoder(&d.lzma, filters) != LZMA_OK)
        return false;
    d.lzma.next_in = in.data();
    d.lzma.avail_in = in.size();
    d.lzma.next_out = out.data();
    d.lzma.avail_out = out.size();
    lzma_ret status = lzma_code(&d.lzma, LZMA_FINISH);
    return (status == LZMA_OK || status == LZMA_STREAM_END) && d.lzma.avail_out == 0;
}

bool unzstd_all(HunkDecoders& d, std::span<const std::uint8_t> in, std::span<std::uint8_t> out)
{
    return d.zstd && ZSTD_decompressDCtx(d.zstd, out.data(), out.size(), in.data(), in.size()) == out.size();
}

// The FLAC frames, then how many bytes they took.
bool unflac_all(HunkDecoders& d, std::span<const std::uint8_t> in, std::span<std::uint8_t> out, std::size_t& used)
{
    if (!d.flac)
        return false;
    FlacFeed feed;
    // The writer's block size: the hunk's sector bytes halved down to 2048
    // at most.
    std::uint32_t block = static_cast<std::uint32_t>(out.size());
    while (block > 2048)
        block /= 2;
    constexpr std::uint8_t head[flac_head_size] = {'f', 'L', 'a', 'C', 0x80, 0x00, 0x00, 0x22, 0, 0, 0, 0, 0, 0, 0,
                                                   0, 0, 0, 0x0A, 0xC4, 0x42, 0xF0};
    std::memcpy(feed.head.data(), head, flac_head_size);
    for (int at : {8, 10}) {
        feed.head[at] = static_cast<std::uint8_t>(block >> 8);
        feed.head[at + 1] = static_cast<std::uint8_t>(block);
    }
    feed.data = in;
    feed.out = out.data();
    feed.wanted_samples = out.size() / 4;
    if (FLAC__stream_decoder_init_stream(d.flac, flac_read, nullptr, flac_tell, nullptr, nullptr, flac_write, nullptr,
                                         flac_error, &feed) != FLAC__STREAM_DECODER_INIT_STATUS_OK)
        return false;
    while (!feed.failed && feed.out_samples < feed.wanted_samples &&
           FLAC__stream_decoder_process_single(d.flac) &&
           FLAC__stream_decoder_get_state(d.flac) != FLAC__STREAM_DECODER_END_OF_STREAM) {
    }
    FLAC__uint64 position = 0;
    bool placed = FLAC__stream_decoder_get_decode_position(d.flac, &position);
    FLAC__stream_decoder_finish(d.flac);
    if (feed.failed || feed.out_samples != feed.wanted_samples || !placed || position < flac_head_size ||
        position - flac_head_size > in.size())
        return false;
    used = static_cast<std::size_t>(position - flac_head_size);
    return true;
}

}  // namespace

bool decode_cd_hunk(HunkDecoders& d, std::uint32_t tag, std::span<const std::uint8_t> stored,
                    std::span<std::uint8_t> hunk)
{
    const std::size_t frames = hunk.size() / chd_frame_size;
    std::span<std::uint8_t> sectors(d.buffer.data(), frames * chd_sector_bytes);
    std::span<std::uint8_t> subchannel(d.buffer.data() + sectors.size(), frames * subchannel_bytes);
    // Ahead of the LZMA, deflate and zstd data: a bit a frame for the sectors
    // stored without sync and parity, and the length of the sectors' part.
    std::size_t marks = 0;
    if (tag == chd_codec_tag("cdfl")) {
        std::size_t used = 0;
        if (!unflac_all(d, stored, sectors, used) || !inflate_all(d, stored.subspan(used), subchannel))
            return false;
    } else {
        marks = (frames + 7) / 8;
        const std::size_t length_bytes = hunk.size() < 65536 ? 2 : 3;
        if (stored.size() < marks + length_bytes)
            return false;
        std::size_t length = 0;
        for (std::size_t i = 0; i < length_bytes; ++i)
            length = length << 8 | stored[marks + i];
        std::size_t from = marks + length_bytes;
        if (length > stored.size() - from)
            return false;
        std::span<const std::uint8_t> first = stored.subspan(from, length), second = stored.subspan(from + length);
        bool ok = tag == chd_codec_tag("cdlz")   ? unlzma_all(d, first, sectors) && inflate_all(d, second, subchannel)
                  : tag == chd_codec_tag("cdzl") ? inflate_all(d, first, sectors) && inflate_all(d, second, subchannel)
                  : tag == chd_codec_tag("cdzs") ? unzstd_all(d, first, sectors) && unzstd_all(d, second, subchannel)
                                                 : false;
        if (!ok)
            return false;
    }
    for (std::size_t f = 0; f < frames; ++f) {
        std::uint8_t* frame = hunk.data() + f * chd_frame_size;
        std::memcpy(frame, sectors.data() + f * chd_sector_bytes, chd_sector_bytes);
        std::memcpy(frame + chd_sector_bytes, subchannel.data() + f * subchannel_bytes, subchannel_bytes);
        if (marks && (stored[f / 8] >> (f % 8) & 1)) {
            std::memcpy(frame, sync_pattern.data(), sync_pattern.size());
            put_form1_parity(std::span<std::uint8_t, 2352>(frame, 2352));
        }
    }
    return true;
}
