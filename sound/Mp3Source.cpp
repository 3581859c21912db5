#include "sound/Mp3Source.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <new>

#include "base/InputFile.h"

namespace vantrel {

namespace {

constexpr std::uint32_t kId3v1Size = 128;
constexpr std::uint32_t kId3v2HeaderSize = 10;
constexpr std::uint32_t kFrameHeaderSize = 4;

// Rows: MPEG-1 Layer I, II, III, then MPEG-2 Layer I, II, III (II and III
// share their row in ISO/IEC 13818-3). Columns: bitrate index 1..14.
constexpr std::array<std::array<std::int16_t, 14>, 6> kBitrates{{
    {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
    {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
}};

// Sampling frequencies by index, for MPEG-1, MPEG-2 and MPEG-2.5.
constexpr std::array<std::array<std::int32_t, 3>, 3> kSampleRates{{
    {44100, 48000, 32000},
    {22050, 24000, 16000},
    {11025, 12000, 8000},
}};

bool startsWith(const SourceBuffer& bytes, std::uint32_t offset, const char (&text)[4]) {
    return offset <= bytes.size() && bytes.size() - offset >= 3 &&
           std::memcmp(bytes.data() + offset, text, 3) == 0;
}

}  // namespace

std::int32_t mpegBitrateKbps(unsigned versionBit, unsigned layer, unsigned bitrateIndex) {
    if (layer < 1 || layer > 3 || bitrateIndex < 1 || bitrateIndex > 14) return 0;
    const unsigned row = (versionBit != 0 ? 0 : 3) + (3 - layer);
    return kBitrates[row][bitrateIndex - 1];
}

std::optional<MpegFrame> readMpegFrame(const std::uint8_t* data, std::size_t size) {
    if (size < kFrameHeaderSize || data[0] != 0xFF || (data[1] & 0xE0) != 0xE0) return std::nullopt;
    const unsigned version = (data[1] >> 3) & 3;  // 0 MPEG-2.5, 1 reserved, 2 MPEG-2, 3 MPEG-1
    const unsigned layer = (data[1] >> 1) & 3;
    const unsigned rateIndex = (data[2] >> 2) & 3;
    const std::int32_t kbps = mpegBitrateKbps(version == 3 ? 1 : 0, layer, data[2] >> 4);
    if (version == 1 || kbps == 0 || rateIndex == 3) return std::nullopt;

    MpegFrame frame;
    const bool mpeg1 = version == 3;
    frame.sampleRate = kSampleRates[mpeg1 ? 0 : version == 2 ? 1 : 2][rateIndex];
    frame.mono = data[3] >> 6 == 3;
    const std::uint32_t padding = (data[2] >> 1) & 1;
    const std::uint32_t bitsPerSecond = static_cast<std::uint32_t>(kbps) * 1000;
    const auto rate = static_cast<std::uint32_t>(frame.sampleRate);
    if (layer == 3) {
        frame.samples = 384;
        frame.length = (12 * bitsPerSecond / rate + padding) * 4;
    } else {
        frame.samples = layer == 1 && !mpeg1 ? 576 : 1152;
        frame.length = frame.samples / 8 * bitsPerSecond / rate + padding;
    }
    if (frame.length > size) return std::nullopt;

    if (layer == 1) {
        // The info tag sits where the side information would begin (after
        // the header and its CRC); VBRI always 32 bytes after the header.
        const bool crc = (data[1] & 1) == 0;
        const std::size_t side = (mpeg1 ? (frame.mono ? 17 : 32) : (frame.mono ? 9 : 17)) +
                                 kFrameHeaderSize + (crc ? 2 : 0);
        auto tagAt = [&](std::size_t at, const char* tag) {
            return at + 4 <= frame.length && std::memcmp(data + at, tag, 4) == 0;
        };
        frame.info = tagAt(side, "Xing") || tagAt(side, "Info") || tagAt(36, "VBRI");
    }
    return frame;
}

std::uint32_t countedSamples(const std::uint8_t* data, std::size_t size) {
    std::optional<MpegFrame> kind;
    auto ofKind = [&](std::size_t at) -> std::optional<MpegFrame> {
        std::optional<MpegFrame> frame = readMpegFrame(data + at, size - at);
        if (frame && kind &&
            (frame->sampleRate != kind->sampleRate || frame->samples != kind->samples)) {
            return std::nullopt;
        }
        return frame;
    };
    // A place where a frame of the kind starts and another follows it, or it
    // ends the payload.
    auto resync = [&](std::size_t from) {
        for (std::size_t at = from; at < size; ++at) {
            const std::optional<MpegFrame> frame = ofKind(at);
            if (frame && (at + frame->length == size || ofKind(at + frame->length))) return at;
        }
        return size;
    };

    std::uint64_t samples = 0;
    std::size_t at = 0;
    while (at < size) {
        const std::optional<MpegFrame> frame = ofKind(at);
        if (!frame) {
            at = resync(at + 1);
            continue;
        }
        if (!kind) kind = frame;
        if (!frame->info) samples += frame->samples;
        at += frame->length;
    }
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(samples, 0xFFFFFFFFu));
}

bool Mp3Source::fail(Failure failure, const std::string& path, const std::string& why) {
    failure_ = failure;
    reason_ = (failure == Failure::Unusable ? "cannot use " : "cannot read ") + path + ": " + why;
    bytes_.reset();
    return false;
}

bool Mp3Source::load(const std::string& path) {
    *this = Mp3Source();
    InputFile file;
    if (!file.open(path)) {
        const int error = file.error();
        return fail(error == ENOENT || error == ENOTDIR ? Failure::NotFound : Failure::Unreadable,
                    path, std::strerror(error));
    }
    try {
        bytes_ = std::make_unique<SourceBuffer>(file.size());
    } catch (const std::bad_alloc&) {
        return fail(Failure::Unreadable, path, std::strerror(ENOMEM));
    }
    // A short read means the file changed or failed under us; zeros in place
    // of its bytes would be sent out as sound.
    if (file.read(bytes_->data(), bytes_->size()) != bytes_->size()) {
        return fail(Failure::Unreadable, path,
                    file.error() != 0 ? std::strerror(file.error()) : "the file got shorter");
    }
    return analyse(path);
}

bool Mp3Source::analyse(const std::string& path) {
    const SourceBuffer& bytes = *bytes_;
    const auto size = static_cast<std::uint32_t>(bytes.size());

    payloadEnd_ = size;
    if (size >= kId3v1Size && startsWith(bytes, size - kId3v1Size, "TAG")) {
        payloadEnd_ = size - kId3v1Size;
    }

    payloadStart_ = 0;
    if (startsWith(bytes, 0, "ID3")) {
        if (size < kId3v2HeaderSize) {
            return fail(Failure::Unusable, path, "its ID3v2 tag is cut short");
        }
        // Four 7-bit groups, most significant first. Bit 7 is not masked:
        // it is never set in a well-formed tag, and a set bit only makes the
        // size larger, which the check below catches.
        std::uint64_t tagSize = 0;
        for (std::uint32_t i = 6; i < 10; ++i) tagSize = (tagSize << 7) | bytes[i];
        const std::uint64_t start = kId3v2HeaderSize + tagSize;
        if (start > payloadEnd_) {
            return fail(Failure::Unusable, path, "its ID3v2 tag reaches past the end of the file");
        }
        payloadStart_ = static_cast<std::uint32_t>(start);
    }

    if (payloadEnd_ < payloadStart_ || payloadEnd_ - payloadStart_ < kFrameHeaderSize) {
        return fail(Failure::Unusable, path, "it holds no MPEG audio frame");
    }

    // The first frame header. Without its 11 sync bits this is no MPEG audio
    // (a text or another format named .mp3), whose bytes must not be sent to
    // players as sound. Protection, sampling frequency, padding and the rest
    // are not needed.
    const std::uint8_t h1 = bytes[payloadStart_ + 1];
    if (bytes[payloadStart_] != 0xFF || (h1 & 0xE0) != 0xE0) {
        return fail(Failure::Unusable, path, "it does not start with an MPEG audio frame");
    }
    const std::uint8_t h2 = bytes[payloadStart_ + 2];
    const std::uint8_t h3 = bytes[payloadStart_ + 3];
    const unsigned versionBit = (h1 >> 3) & 1;
    const unsigned layer = (h1 >> 1) & 3;
    const unsigned bitrateIndex = h2 >> 4;
    const unsigned channelMode = h3 >> 6;

    bitrateKbps_ = mpegBitrateKbps(versionBit, layer, bitrateIndex);
    if (bitrateKbps_ == 0) {
        return fail(Failure::Unusable, path,
                    layer == 0 ? "its first frame header names a reserved layer"
                               : "its first frame header has no usable bitrate");
    }
    const unsigned version = (h1 >> 3) & 3;
    const unsigned rateIndex = (h2 >> 2) & 3;
    if (version == 1 || rateIndex == 3) {
        return fail(Failure::Unusable, path,
                    "its first frame header names a reserved version or sampling frequency");
    }
    sampleRate_ = kSampleRates[version == 3 ? 0 : version == 2 ? 1 : 2][rateIndex];
    mono_ = channelMode == 3;
    sampleCount_ = countedSamples(bytes.data() + payloadStart_, payloadLength());
    return true;
}

}  // namespace vantrel
