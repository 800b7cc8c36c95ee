// Decoding one hunk of a CD in a CHD: the CD codecs keep the 2352-byte
// sectors of the hunk's frames (LZMA, deflate, FLAC or zstd) apart from
// their subchannel (deflate, or zstd), and strip the sync and parity of
// Mode 1 sectors where they can be rebuilt.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

// The codec tags a CD's hunks can name.
inline constexpr std::uint32_t chd_codec_tag(const char (&name)[5])
{
    return std::uint32_t(std::uint8_t(name[0])) << 24 | std::uint32_t(std::uint8_t(name[1])) << 16 |
           std::uint32_t(std::uint8_t(name[2])) << 8 | std::uint8_t(name[3]);
}
bool chd_codec_known(std::uint32_t tag);

// Each decoding thread's own decoder states and buffer.
struct HunkDecoders;
struct HunkDecodersFree {
    void operator()(HunkDecoders* decoders) const;
};
using HunkDecodersPtr = std::unique_ptr<HunkDecoders, HunkDecodersFree>;
HunkDecodersPtr make_hunk_decoders(std::uint32_t hunk_bytes);

// Decodes `stored`, a hunk kept by the codec `tag`, into `hunk` (the
// hunk's size of whole frames); false where it does not decode to that.
bool decode_cd_hunk(HunkDecoders& decoders, std::uint32_t tag, std::span<const std::uint8_t> stored,
                    std::span<std::uint8_t> hunk);
