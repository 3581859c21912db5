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

// Reads bits from the most significant of each byte on.
class BitReader {
  public:
    explicit BitReader(const std::uint8_t* data) : data_(data) {}
    std::uint32_t read(int bits) {
        std::uint32_t value = 0;
        for (; bits > 0; --bits, ++at_) value = value << 1 | ((data_[at_ / 8] >> (7 - at_ % 8)) & 1);
        return value;
    }
    void skip(int bits) { at_ += static_cast<std::size_t>(bits); }

  private:
    const std::uint8_t* data_;
    std::size_t at_ = 0;
};

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

bool startsMpegRun(const std::uint8_t* data, std::size_t size) {
    const std::optional<MpegFrame> frame = readMpegFrame(data, size);
    if (!frame) return false;
    if (frame->length == size) return true;
    const std::optional<MpegFrame> next =
        readMpegFrame(data + frame->length, size - frame->length);
    return next && next->sampleRate == frame->sampleRate && next->samples == frame->samples;
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

std::optional<std::vector<std::uint8_t>> layer3FramesFrom(const std::uint8_t* data,
                                                          std::size_t size, std::size_t first) {
    // Main data areas (what follows a frame's header and side information)
    // are counted as one run of bytes, in which a frame's main data starts
    // main_data_begin bytes before its own area.
    struct Frame {
        std::size_t offset = 0;
        std::size_t side = 0;      // bytes of side information
        std::size_t area = 0;      // where its area starts in the run
        std::size_t begin = 0;     // where its main data starts in the run
        std::size_t mainData = 0;  // bytes
    };
    constexpr std::size_t kLongestReach = 511;  // main_data_begin's largest value
    std::vector<Frame> frames;
    std::vector<std::uint8_t> areas;  // the run up to the end of frame `first`
    std::size_t areaEnd = 0;          // of the last frame read
    for (std::size_t at = 0; at < size;) {
        const std::optional<MpegFrame> frame = readMpegFrame(data + at, size - at);
        if (!frame) return std::nullopt;
        const MpegHeader header = readMpegHeader(data + at);
        const int channels = header.mono ? 1 : 2;
        const std::size_t side = header.mpeg1 ? (header.mono ? 17 : 32) : (header.mono ? 9 : 17);
        if (header.layer != 1 || header.crc || frame->length < kFrameHeaderSize + side) {
            return std::nullopt;
        }
        BitReader bits(data + at + kFrameHeaderSize);
        Frame read{at, side, areaEnd};
        const std::size_t reach = bits.read(header.mpeg1 ? 9 : 8);
        if (reach > read.area) return std::nullopt;
        read.begin = read.area - reach;
        bits.skip(header.mpeg1 ? (header.mono ? 5 : 3) + 4 * channels : (header.mono ? 1 : 2));
        // part2_3_length, the bits of each granule and channel, opens its
        // 59 bits of MPEG-1 side information or 63 of MPEG-2.
        std::size_t mainBits = 0;
        for (int part = 0; part < (header.mpeg1 ? 2 : 1) * channels; ++part) {
            mainBits += bits.read(12);
            bits.skip(header.mpeg1 ? 47 : 51);
        }
        read.mainData = (mainBits + 7) / 8;
        areaEnd += frame->length - kFrameHeaderSize - side;
        if (frames.size() <= first) {
            areas.insert(areas.end(), data + at + kFrameHeaderSize + side, data + at + frame->length);
        }
        frames.push_back(read);
        at += frame->length;
        if (frames.size() > first + 1 && areaEnd > areas.size() + kLongestReach) break;
    }
    if (frames.size() <= first) return std::nullopt;

    const Frame& kept = frames[first];
    const std::size_t next = areas.size();  // where the next frame's area starts
    if (kept.begin + kept.mainData > next) return std::nullopt;
    std::size_t tail = 0;  // bytes before the next area that later frames reach back to
    for (std::size_t i = first + 1; i < frames.size(); ++i) {
        if (frames[i].begin < next) tail = std::max(tail, next - frames[i].begin);
    }

    const std::uint8_t* header = data + kept.offset;
    const bool mpeg1 = ((header[1] >> 3) & 3) == 3;
    const std::int32_t rate = readMpegHeader(header).sampleRate;
    for (unsigned index = 1; index <= 14; ++index) {
        const std::size_t length =
            (mpeg1 ? 144 : 72) * 1000 * std::size_t(mpegBitrateKbps(mpeg1 ? 1 : 0, 1, index)) /
            std::size_t(rate);
        if (length < kFrameHeaderSize + kept.side + kept.mainData + tail) continue;
        std::vector<std::uint8_t> out(header, header + kFrameHeaderSize + kept.side);
        out[2] = static_cast<std::uint8_t>(index << 4 | (header[2] & 0x0D));  // no padding
        out[4] = 0;  // main_data_begin: its main data starts in its own area
        if (mpeg1) out[5] &= 0x7F;
        out.insert(out.end(), areas.begin() + static_cast<std::ptrdiff_t>(kept.begin),
                   areas.begin() + static_cast<std::ptrdiff_t>(kept.begin + kept.mainData));
        out.resize(length - tail);
        out.insert(out.end(), areas.end() - static_cast<std::ptrdiff_t>(tail), areas.end());
        const std::size_t rest = first + 1 < frames.size() ? frames[first + 1].offset : size;
        out.insert(out.end(), data + rest, data + size);
        return out;
    }
    return std::nullopt;
}

bool Mp3Source::fail(Fault fault) {
    fault_ = std::move(fault);
    bytes_.reset();
    return false;
}

bool Mp3Source::load(const std::string& path) {
    *this = Mp3Source();
    FileBuffer file;
    if (!file.load(path, &fault_, FaultStep::LoadSound)) return false;
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
    framed_ = startsMpegRun(bytes.data() + payloadStart_, payloadLength());
    sampleCount_ = countedSamples(bytes.data() + payloadStart_, payloadLength());
    return true;
}

}  // namespace vantrel
