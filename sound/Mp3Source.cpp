#include "sound/Mp3Source.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <functional>
#include <new>
#include <utility>

#include "base/FileBuffer.h"

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

MpegHeader readMpegHeader(const std::uint8_t* data) {
    MpegHeader header;
    if (data[0] != 0xFF || (data[1] & 0xE0) != 0xE0) {
        header.refusal = MpegHeader::Refusal::NoSync;
        return header;
    }
    const unsigned version = (data[1] >> 3) & 3;  // 0 MPEG-2.5, 1 reserved, 2 MPEG-2, 3 MPEG-1
    const unsigned rateIndex = (data[2] >> 2) & 3;
    header.mpeg1 = version == 3;
    header.layer = (data[1] >> 1) & 3;
    header.bitrateKbps = mpegBitrateKbps(header.mpeg1 ? 1 : 0, header.layer, data[2] >> 4);
    if (header.layer == 0) {
        header.refusal = MpegHeader::Refusal::ReservedLayer;
    } else if (header.bitrateKbps == 0) {
        header.refusal = MpegHeader::Refusal::NoBitrate;
    } else if (version == 1 || rateIndex == 3) {
        header.refusal = MpegHeader::Refusal::ReservedVersionOrRate;
    } else {
        header.sampleRate = kSampleRates[header.mpeg1 ? 0 : version == 2 ? 1 : 2][rateIndex];
    }
    header.padding = ((data[2] >> 1) & 1) != 0;
    header.crc = (data[1] & 1) == 0;
    header.mono = data[3] >> 6 == 3;
    return header;
}

std::optional<MpegFrame> readMpegFrame(const std::uint8_t* data, std::size_t size) {
    if (size < kFrameHeaderSize) return std::nullopt;
    const MpegHeader header = readMpegHeader(data);
    if (header.refusal != MpegHeader::Refusal::None) return std::nullopt;

    MpegFrame frame;
    frame.sampleRate = header.sampleRate;
    frame.mono = header.mono;
    const std::uint32_t padding = header.padding ? 1 : 0;
    const std::uint32_t bitsPerSecond = static_cast<std::uint32_t>(header.bitrateKbps) * 1000;
    const auto rate = static_cast<std::uint32_t>(frame.sampleRate);
    if (header.layer == 3) {
        frame.samples = 384;
        frame.length = (12 * bitsPerSecond / rate + padding) * 4;
    } else {
        frame.samples = header.layer == 1 && !header.mpeg1 ? 576 : 1152;
        frame.length = frame.samples / 8 * bitsPerSecond / rate + padding;
    }
    if (frame.length > size) return std::nullopt;

    if (header.layer == 1) {
        // The info tag sits where the side information would begin (after
        // the header and its CRC); VBRI always 32 bytes after the header.
        const std::size_t side =
            (header.mpeg1 ? (frame.mono ? 17 : 32) : (frame.mono ? 9 : 17)) + kFrameHeaderSize +
            (header.crc ? 2 : 0);
        auto tagAt = [&](std::size_t at, const char* tag) {
            return at + 4 <= frame.length && std::memcmp(data + at, tag, 4) == 0;
        };
        frame.info = tagAt(side, "Xing") || tagAt(side, "Info") || tagAt(36, "VBRI");
    }
    return frame;
}

void walkMpegFrames(const std::uint8_t* data, std::size_t size,
                    const std::function<void(std::size_t, const MpegFrame&)>& visit) {
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

    std::size_t at = 0;
    while (at < size) {
        const std::optional<MpegFrame> frame = ofKind(at);
        if (!frame) {
            at = resync(at + 1);
            continue;
        }
        if (!kind) kind = frame;
        visit(at, *frame);
        at += frame->length;
    }
}

std::uint32_t countedSamples(const std::uint8_t* data, std::size_t size) {
    std::uint64_t samples = 0;
    walkMpegFrames(data, size, [&](std::size_t, const MpegFrame& frame) {
        if (!frame.info) samples += frame.samples;
    });
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(samples, 0xFFFFFFFFu));
}

bool Mp3Source::fail(Fault fault) {
    fault_ = std::move(fault);
    bytes_.reset();
    return false;
}

bool Mp3Source::load(const std::string& path) {
    *this = Mp3Source();
    FileBuffer file;
    if (!file.load(path, &fault_)) {
        fault_.step = FaultStep::LoadSound;
        return false;
    }
    try {
        bytes_ = std::make_unique<SourceBuffer>(file.take());
    } catch (const std::bad_alloc&) {
        return fail(readFault(FaultStep::LoadSound, path, ENOMEM));
    }
    return analyse(path);
}

bool Mp3Source::analyse(const std::string& path) {
    const SourceBuffer& bytes = *bytes_;
    const auto size = static_cast<std::uint32_t>(bytes.size());
    const auto unusable = [&](FaultCode code, const char* why) {
        return fail({code, FaultStep::LoadSound, path, why});
    };

    payloadEnd_ = size;
    if (size >= kId3v1Size && startsWith(bytes, size - kId3v1Size, "TAG")) {
        payloadEnd_ = size - kId3v1Size;
    }

    payloadStart_ = 0;
    if (startsWith(bytes, 0, "ID3")) {
        if (size < kId3v2HeaderSize) {
            return unusable(FaultCode::Damaged, "its ID3v2 tag is cut short");
        }
        // Four 7-bit groups, most significant first. Bit 7 is not masked:
        // it is never set in a well-formed tag, and a set bit only makes the
        // size larger, which the check below catches.
        std::uint64_t tagSize = 0;
        for (std::uint32_t i = 6; i < 10; ++i) tagSize = (tagSize << 7) | bytes[i];
        const std::uint64_t start = kId3v2HeaderSize + tagSize;
        if (start > payloadEnd_) {
            return unusable(FaultCode::Damaged, "its ID3v2 tag reaches past the end of the file");
        }
        payloadStart_ = static_cast<std::uint32_t>(start);
    }

    if (payloadEnd_ < payloadStart_ || payloadEnd_ - payloadStart_ < kFrameHeaderSize) {
        return unusable(FaultCode::Damaged, "it holds no MPEG audio frame");
    }

    // The first frame header. Without its 11 sync bits this is no MPEG audio
    // (a text or another format named .mp3), whose bytes must not be sent to
    // players as sound.
    const MpegHeader header = readMpegHeader(bytes.data() + payloadStart_);
    switch (header.refusal) {
        case MpegHeader::Refusal::None:
            break;
        case MpegHeader::Refusal::NoSync:
            return unusable(FaultCode::Unsupported, "it does not start with an MPEG audio frame");
        case MpegHeader::Refusal::ReservedLayer:
            return unusable(FaultCode::Unsupported, "its first frame header names a reserved layer");
        case MpegHeader::Refusal::NoBitrate:
            return unusable(FaultCode::Unsupported, "its first frame header has no usable bitrate");
        case MpegHeader::Refusal::ReservedVersionOrRate:
            return unusable(FaultCode::Unsupported,
                            "its first frame header names a reserved version or sampling frequency");
    }
    layer_ = 4 - static_cast<int>(header.layer);
    bitrateKbps_ = header.bitrateKbps;
    sampleRate_ = header.sampleRate;
    mono_ = header.mono;
    sampleCount_ = countedSamples(bytes.data() + payloadStart_, payloadLength());
    return true;
}

}  // namespace vantrel
