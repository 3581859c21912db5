#include "sound/Mp3Source.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <new>

#include "sound/InputFile.h"

namespace vantrel {

namespace {

constexpr std::uint32_t kId3v1Size = 128;
constexpr std::uint32_t kId3v2HeaderSize = 10;
constexpr std::uint32_t kFrameHeaderSize = 4;
constexpr double kSampleRate = 44100.0;

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

std::uint32_t estimatedSampleCount(std::uint32_t payloadLength, std::int32_t bytesPerSecond) {
    if (bytesPerSecond <= 0) return 0;
    const double samples = payloadLength * kSampleRate / bytesPerSecond;
    if (samples >= 4294967295.0) return 0xFFFFFFFFu;
    return static_cast<std::uint32_t>(samples);
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
    mono_ = channelMode == 3;
    bytesPerSecond_ = bitrateKbps_ * 1000 / 8;
    sampleCount_ = estimatedSampleCount(payloadLength(), bytesPerSecond_);
    return true;
}

}  // namespace vantrel
