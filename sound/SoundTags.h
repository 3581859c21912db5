#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "swf/SwfTag.h"

namespace vantrel {

// The sampling rates a DefineSound states for MP3 data, by their codes
// (5.5 kHz, code 0, is not allowed for MP3).
enum class Mp3Rate : std::uint8_t { Hz11025 = 1, Hz22050 = 2, Hz44100 = 3 };

// The code for a rate in Hz; nothing for the rates a DefineSound cannot state.
std::optional<Mp3Rate> mp3RateOf(std::int32_t hz);

// DefineSound: one event sound holding a whole MPEG audio payload, stored as
// MP3 at its own rate with 16-bit samples. Players skip the payload's first
// seekSamples; sampleCount, in samples at that rate, counts those after them.
// The tag refers to the payload without copying it; the bytes must stay
// alive until the movie has been written.
class DefineSoundTag : public SwfCharacterTag {
  public:
    DefineSoundTag(std::uint16_t characterId, const std::uint8_t* data, std::uint32_t length,
                   Mp3Rate rate, bool mono, std::uint32_t sampleCount,
                   std::uint16_t seekSamples = 0);
    void write(SwfStream& out) const override;

  private:
    const std::uint8_t* data_;
    std::uint32_t length_;
    Mp3Rate rate_;
    bool mono_;
    std::uint32_t sampleCount_;
    std::uint16_t seekSamples_;
};

// One point of a sound envelope: a position in 44 kHz samples and the left
// and right levels (0..32768).
struct SoundEnvelopePoint {
    std::uint32_t position = 0;
    std::uint16_t leftLevel = 0;
    std::uint16_t rightLevel = 0;
};

// The SOUNDINFO record: how a sound is started. Each optional field is
// written only when its flag is set; an envelope of more than 255 points is
// cut to the first 255.
struct SoundInfo {
    std::uint8_t syncFlags = 0;  // 4 bits: 2 reserved, SyncStop, SyncNoMultiple
    bool hasEnvelope = false;
    bool hasLoops = false;
    bool hasOutPoint = false;
    bool hasInPoint = false;
    std::uint32_t inPoint = 0;
    std::uint32_t outPoint = 0;
    std::uint16_t loopCount = 0;
    std::vector<SoundEnvelopePoint> envelope;

    static constexpr std::uint8_t kSyncNoMultiple = 1;
    static constexpr std::uint8_t kSyncStop = 2;

    void write(SwfStream& out) const;
};

// StartSound: starts the sound defined under soundId.
class StartSoundTag : public SwfTag {
  public:
    StartSoundTag(std::uint16_t soundId, SoundInfo info);
    void write(SwfStream& out) const override;

  private:
    std::uint16_t soundId_;
    SoundInfo info_;
};

// SoundStreamHead2: the movie's streaming sound is MP3 at `rate`, 16-bit,
// played as stored. samplesPerFrame is the average number of samples of a
// movie frame; latencySeek the first block's SeekSamples.
class SoundStreamHead2Tag : public SwfTag {
  public:
    SoundStreamHead2Tag(Mp3Rate rate, bool mono, std::uint16_t samplesPerFrame,
                        std::int16_t latencySeek);
    void write(SwfStream& out) const override;

  private:
    Mp3Rate rate_;
    bool mono_;
    std::uint16_t samplesPerFrame_;
    std::int16_t latencySeek_;
};

// Bytes a tag refers to without copying.
struct ByteRun {
    const std::uint8_t* data = nullptr;
    std::uint32_t length = 0;
};

// SoundStreamBlock of MP3: the whole MPEG audio frames of one movie frame
// (the runs, in order), the samples they hold and the SeekSamples that
// places them against the frame's start. The tag refers to the frames'
// bytes, which must stay alive until it has been written.
class SoundStreamBlockTag : public SwfTag {
  public:
    SoundStreamBlockTag(std::uint16_t sampleCount, std::int16_t seekSamples,
                        std::vector<ByteRun> frames);
    void write(SwfStream& out) const override;

  private:
    std::uint16_t sampleCount_;
    std::int16_t seekSamples_;
    std::vector<ByteRun> frames_;
};

}  // namespace vantrel
