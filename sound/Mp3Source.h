#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Fault.h"
#include "swf/SourceBuffers.h"

namespace vantrel {

// A companion MP3 file loaded whole: the MPEG audio payload between an
// optional leading ID3v2 tag and an optional ID3v1 trailer, what the first
// frame header says about it, and the samples its frames hold.
class Mp3Source {
  public:
    // False when the file gives no sound; fault() then says why (step
    // LoadSound): NotFound when there is no such file, the codes of reading
    // a file when it cannot be read, Damaged or Unsupported when its tags
    // or first frame header make no sense.
    bool load(const std::string& path);

    const Fault& fault() const { return fault_; }

    // The whole file. takeBytes hands the buffer over (to the movie's
    // source buffers) without moving the bytes, so offsets into it and
    // pointers to its data stay valid.
    const SourceBuffer* bytes() const { return bytes_.get(); }
    std::unique_ptr<SourceBuffer> takeBytes() { return std::move(bytes_); }

    std::uint32_t payloadStart() const { return payloadStart_; }
    std::uint32_t payloadEnd() const { return payloadEnd_; }
    std::uint32_t payloadLength() const { return payloadEnd_ - payloadStart_; }
    bool mono() const { return mono_; }
    // The first frame's layer: 1, 2 or 3 (MP3).
    int layer() const { return layer_; }
    std::int32_t bitrateKbps() const { return bitrateKbps_; }
    // Whether the payload starts with a run of whole frames (startsMpegRun):
    // a header alone, or other bytes before the frames, are no sound to hand
    // players as they are.
    bool framed() const { return framed_; }
    // The first frame's sampling frequency in Hz.
    std::int32_t sampleRate() const { return sampleRate_; }
    // Samples of the payload's frames at sampleRate (countedSamples).
    std::uint32_t sampleCount() const { return sampleCount_; }

  private:
    bool fail(Fault fault);
    bool analyse(const std::string& path);

    Fault fault_;
    std::unique_ptr<SourceBuffer> bytes_;
    std::uint32_t payloadStart_ = 0;
    std::uint32_t payloadEnd_ = 0;
    bool mono_ = false;
    int layer_ = 0;
    std::int32_t bitrateKbps_ = 0;
    bool framed_ = false;
    std::int32_t sampleRate_ = 0;
    std::uint32_t sampleCount_ = 0;
};

// Bitrate in kbit/s of an MPEG audio frame header's fields: version bit 1 for
// MPEG-1 (ISO/IEC 11172-3), 0 for the lower sampling frequencies of MPEG-2
// (ISO/IEC 13818-3); layer field 3 = I, 2 = II, 1 = III; bitrate index 1..14.
// 0 for the reserved layer 0 and for the free (0) and forbidden (15) indices.
std::int32_t mpegBitrateKbps(unsigned versionBit, unsigned layer, unsigned bitrateIndex);

// The fields of an MPEG audio frame header, or which of them makes it none.
struct MpegHeader {
    enum class Refusal {
        None,
        NoSync,                 // not the 11 sync bits
        ReservedLayer,          // layer field 0
        NoBitrate,              // free format (index 0) or the forbidden index 15
        ReservedVersionOrRate,  // version field 1, or sampling frequency index 3
    };
    Refusal refusal = Refusal::None;
    bool mpeg1 = false;
    unsigned layer = 0;  // the field: 3 = I, 2 = II, 1 = III
    std::int32_t bitrateKbps = 0;
    std::int32_t sampleRate = 0;  // Hz
    bool padding = false;
    bool crc = false;  // a CRC follows the header
    bool mono = false;
};

// Reads the four header bytes at data, checking them in the order the
// refusals are listed.
MpegHeader readMpegHeader(const std::uint8_t* data);

// What an MPEG audio frame header says about its frame.
struct MpegFrame {
    std::int32_t sampleRate = 0;  // Hz
    std::uint32_t samples = 0;    // per channel: 384, 1152 or 576
    std::uint32_t length = 0;     // bytes, header included
    bool mono = false;
    // Whether it is the encoder's info frame (Xing, Info or VBRI), which
    // describes the stream and holds no sound.
    bool info = false;
};

// The frame whose header starts at data (size bytes available); nothing
// when there is no valid header (sync, version, layer, bitrate index, or
// sampling frequency) or the frame does not fit.
std::optional<MpegFrame> readMpegFrame(const std::uint8_t* data, std::size_t size);

// Whether the size bytes at data start with a whole frame that another of
// the same rate and samples follows, or that ends them.
bool startsMpegRun(const std::uint8_t* data, std::size_t size);

// Calls visit(offset, frame) for each frame of an MPEG audio payload, walked
// header by header from its start, info frames included. Where the bytes
// hold no frame of the first frame's kind (a tag between joined files,
// damage), the walk goes on at the next place where two such frames follow
// each other, or one ends the payload.
void walkMpegFrames(const std::uint8_t* data, std::size_t size,
                    const std::function<void(std::size_t, const MpegFrame&)>& visit);

// Samples per channel of the frames of an MPEG audio payload, as
// walkMpegFrames finds them. Info frames do not count. Saturates at the
// largest 32-bit count.
std::uint32_t countedSamples(const std::uint8_t* data, std::size_t size);

// The MPEG audio Layer III frames of the size bytes at data (whole frames
// and nothing else) from frame `first` on, made to decode as they do after
// the frames before them. A frame's main data may begin in the frames before
// it (the bit reservoir); the first frame kept is written anew with its own
// main data, and behind it the bytes before the next frames that they reach
// back to, at the lowest bitrate that holds them. Nothing when no bitrate
// does, or when a frame has a CRC, which would have to be computed anew.
std::optional<std::vector<std::uint8_t>> layer3FramesFrom(const std::uint8_t* data,
                                                          std::size_t size, std::size_t first);

}  // namespace vantrel
