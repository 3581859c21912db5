#include "sound/SoundTags.h"

#include <algorithm>
#include <utility>

namespace vantrel {

namespace {
constexpr std::uint32_t kFormatMp3 = 2;
constexpr std::uint32_t kSize16Bit = 1;
constexpr std::size_t kMaxEnvelopePoints = 255;
}  // namespace

std::optional<Mp3Rate> mp3RateOf(std::int32_t hz) {
    switch (hz) {
        case 11025:
            return Mp3Rate::Hz11025;
        case 22050:
            return Mp3Rate::Hz22050;
        case 44100:
            return Mp3Rate::Hz44100;
        default:
            return std::nullopt;
    }
}

DefineSoundTag::DefineSoundTag(std::uint16_t characterId, const std::uint8_t* data,
                               std::uint32_t length, Mp3Rate rate, bool mono,
                               std::uint32_t sampleCount, std::uint16_t seekSamples)
    : SwfCharacterTag(characterId),
      data_(data),
      length_(length),
      rate_(rate),
      mono_(mono),
      sampleCount_(sampleCount),
      seekSamples_(seekSamples) {}

void DefineSoundTag::write(SwfStream& out) const {
    SwfStream body;
    body.writeU16(characterId());
    body.writeBits(kFormatMp3, 4);
    body.writeBits(static_cast<std::uint32_t>(rate_), 2);
    body.writeBits(kSize16Bit, 1);
    body.writeBits(mono_ ? 0 : 1, 1);
    body.writeU32(sampleCount_);
    body.writeU16(seekSamples_);
    body.addReference(data_, length_);
    writeTagRecord(out, TagCode::DefineSound, body);
}

void SoundInfo::write(SwfStream& out) const {
    out.writeBits(syncFlags, 4);
    out.writeBits(hasEnvelope, 1);
    out.writeBits(hasLoops, 1);
    out.writeBits(hasOutPoint, 1);
    out.writeBits(hasInPoint, 1);
    if (hasInPoint) out.writeU32(inPoint);
    if (hasOutPoint) out.writeU32(outPoint);
    if (hasLoops) out.writeU16(loopCount);
    if (hasEnvelope) {
        const std::size_t points = std::min(envelope.size(), kMaxEnvelopePoints);
        out.writeU8(static_cast<std::uint32_t>(points));
        for (std::size_t i = 0; i < points; ++i) {
            out.writeU32(envelope[i].position);
            out.writeU16(envelope[i].leftLevel);
            out.writeU16(envelope[i].rightLevel);
        }
    }
}

StartSoundTag::StartSoundTag(std::uint16_t soundId, SoundInfo info)
    : soundId_(soundId), info_(std::move(info)) {}

void StartSoundTag::write(SwfStream& out) const {
    SwfStream body;
    body.writeU16(soundId_);
    info_.write(body);
    writeTagRecord(out, TagCode::StartSound, body);
}

SoundStreamHead2Tag::SoundStreamHead2Tag(Mp3Rate rate, bool mono, std::uint16_t samplesPerFrame,
                                         std::int16_t latencySeek)
    : rate_(rate), mono_(mono), samplesPerFrame_(samplesPerFrame), latencySeek_(latencySeek) {}

void SoundStreamHead2Tag::write(SwfStream& out) const {
    SwfStream body;
    // How the player plays it, then how it is stored: the same.
    const auto rateSizeType = [&] {
        body.writeBits(static_cast<std::uint32_t>(rate_), 2);
        body.writeBits(kSize16Bit, 1);
        body.writeBits(mono_ ? 0 : 1, 1);
    };
    body.writeBits(0, 4);  // reserved
    rateSizeType();
    body.writeBits(kFormatMp3, 4);
    rateSizeType();
    body.writeU16(samplesPerFrame_);
    body.writeU16(static_cast<std::uint16_t>(latencySeek_));
    writeTagRecord(out, TagCode::SoundStreamHead2, body);
}

SoundStreamBlockTag::SoundStreamBlockTag(std::uint16_t sampleCount, std::int16_t seekSamples,
                                         std::vector<ByteRun> frames)
    : sampleCount_(sampleCount), seekSamples_(seekSamples), frames_(std::move(frames)) {}

void SoundStreamBlockTag::write(SwfStream& out) const {
    SwfStream body;
    body.writeU16(sampleCount_);
    body.writeU16(static_cast<std::uint16_t>(seekSamples_));
    for (const ByteRun& run : frames_) body.addReference(run.data, run.length);
    writeTagRecord(out, TagCode::SoundStreamBlock, body);
}

}  // namespace vantrel
