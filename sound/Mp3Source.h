#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "swf/SourceBuffers.h"

namespace vantrel {

// A companion MP3 file loaded whole: the MPEG audio payload between an
// optional leading ID3v2 tag and an optional ID3v1 trailer, and what the
// first frame header says about it. Frames are neither split nor checked.
class Mp3Source {
  public:
    enum class Failure {
        None,
        NotFound,    // no such file
        Unreadable,  // exists but could not be opened or read
        Unusable,    // read, but its tags or first frame header make no sense
    };

    // False when the file gives no sound; failure() and reason() say why.
    bool load(const std::string& path);

    Failure failure() const { return failure_; }
    // Plain words for a failed load, naming the file.
    const std::string& reason() const { return reason_; }

    // The whole file. takeBytes hands the buffer over (to the document's
    // source buffers) without moving the bytes, so offsets into it and
    // pointers to its data stay valid.
    const SourceBuffer* bytes() const { return bytes_.get(); }
    std::unique_ptr<SourceBuffer> takeBytes() { return std::move(bytes_); }

    std::uint32_t payloadStart() const { return payloadStart_; }
    std::uint32_t payloadEnd() const { return payloadEnd_; }
    std::uint32_t payloadLength() const { return payloadEnd_ - payloadStart_; }
    bool mono() const { return mono_; }
    std::int32_t bitrateKbps() const { return bitrateKbps_; }
    std::int32_t bytesPerSecond() const { return bytesPerSecond_; }
    // Estimated samples at 44,100 Hz, whatever the file's own rate.
    std::uint32_t sampleCount() const { return sampleCount_; }

  private:
    bool fail(Failure failure, const std::string& path, const std::string& why);
    bool analyse(const std::string& path);

    Failure failure_ = Failure::None;
    std::string reason_;
    std::unique_ptr<SourceBuffer> bytes_;
    std::uint32_t payloadStart_ = 0;
    std::uint32_t payloadEnd_ = 0;
    bool mono_ = false;
    std::int32_t bitrateKbps_ = 0;
    std::int32_t bytesPerSecond_ = 0;
    std::uint32_t sampleCount_ = 0;
};

// Bitrate in kbit/s of an MPEG audio frame header's fields: version bit 1 for
// MPEG-1 (ISO/IEC 11172-3), 0 for the lower sampling frequencies of MPEG-2
// (ISO/IEC 13818-3); layer field 3 = I, 2 = II, 1 = III; bitrate index 1..14.
// 0 for the reserved layer 0 and for the free (0) and forbidden (15) indices.
std::int32_t mpegBitrateKbps(unsigned versionBit, unsigned layer, unsigned bitrateIndex);

// Samples at 44,100 Hz that payloadLength bytes last at bytesPerSecond,
// truncated; saturates at the largest 32-bit count.
std::uint32_t estimatedSampleCount(std::uint32_t payloadLength, std::int32_t bytesPerSecond);

}  // namespace vantrel
