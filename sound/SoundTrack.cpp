#include "sound/SoundTrack.h"

#include <memory>

#include "base/Formats.h"
#include "sound/Mp3Encoder.h"
#include "sound/Mp3Source.h"

namespace vantrel {

namespace {

void take(LoadedSound& loaded, EncodedMp3 encoded) {
    loaded.sound.length = static_cast<std::uint32_t>(encoded.bytes->size());
    loaded.sound.bytes = std::move(encoded.bytes);
    loaded.sound.rate = *mp3RateOf(encoded.sampleRate);
    loaded.sound.mono = encoded.mono;
    loaded.sound.seekSamples = encoded.seekSamples;
    loaded.sound.sampleCount = encoded.sampleCount;
}

}  // namespace

LoadedSound loadCompanionSound(const std::string& mp3Path, double start, double seconds) {
    LoadedSound loaded;
    Mp3Source source;
    const bool read = source.load(mp3Path);
    const FaultCode refusal = source.fault().code;
    if (!read && refusal != FaultCode::Damaged && refusal != FaultCode::Unsupported) {
        if (refusal != FaultCode::NotFound) loaded.warning = source.fault();
        return loaded;
    }
    const std::optional<Mp3Rate> rate = mp3RateOf(source.sampleRate());
    // Whole MP3 frames from the payload's start; anything else before them,
    // even a lone header, is other data.
    const bool mp3Frames = read && source.framed() && source.layer() == 3;
    const bool playable = mp3Frames && rate;
    const bool cut = start > 0.0 || seconds > 0.0;
    if (playable && !cut) {
        loaded.sound.start = source.payloadStart();
        loaded.sound.length = source.payloadLength();
        loaded.sound.rate = *rate;
        loaded.sound.mono = source.mono();
        loaded.sound.sampleCount = source.sampleCount();
        loaded.sound.bytes = source.takeBytes();
        return loaded;
    }

    // Anything else FFmpeg decodes, players could not play as it is: other
    // layers and rates, MP3 behind other data, AAC or WAV named .mp3. A part
    // of it is cut from the decoded sound.
    EncodedMp3 encoded =
        encodeMp3(mp3Path, kSoundDemuxers, FaultStep::ReencodeSound, seconds, start);
    if (encoded.fault && encoded.undecodable) {
        const FaultCode code = encoded.fault->code == FaultCode::NoSound ? FaultCode::NoSound
                               : read                                    ? FaultCode::Damaged
                                                                         : refusal;
        loaded.warning =
            Fault(code, FaultStep::LoadSound, mp3Path, "it holds no sound FFmpeg can decode");
        return loaded;
    }
    // MP3 at another rate goes without saying what it is.
    std::string kind;
    if (!encoded.fault && !(encoded.sourceMp3 && mp3Frames)) {
        kind = encoded.sourceKind;
        if (encoded.sourceMp3) kind += " with other data before its first frame";
    }
    Fault fault = encoded.fault.value_or(
        Fault(FaultCode::SoundReencoded, FaultStep::ReencodeSound, mp3Path, std::move(kind)));
    fault.values = {
        static_cast<double>(encoded.sourceRate != 0 ? encoded.sourceRate : source.sampleRate()),
        static_cast<double>(encoded.sampleRate)};
    // MP3 movies can play, re-encoded only for the cut, is no news.
    if (encoded.fault || !playable || encoded.sampleRate != source.sampleRate()) {
        loaded.warning = std::move(fault);
    }
    if (!encoded.fault) take(loaded, std::move(encoded));
    return loaded;
}

LoadedSound loadVideoSound(const std::string& videoPath, double seconds, double start) {
    LoadedSound loaded;
    EncodedMp3 encoded =
        encodeMp3(videoPath, kVideoDemuxers, FaultStep::VideoSound, seconds, start);
    if (!encoded.fault) {
        take(loaded, std::move(encoded));
    } else if (encoded.fault->code != FaultCode::NoSound) {
        loaded.warning = std::move(encoded.fault);
    }
    return loaded;
}

void addSoundTrack(SwfMovie& movie, Mp3Sound sound, SourceBuffers& sourceBuffers) {
    sourceBuffers.push_back(std::move(sound.bytes));
    const std::uint8_t* payload = sourceBuffers.back()->data() + sound.start;

    auto defineSound = std::make_unique<DefineSoundTag>(
        movie.nextCharacterId(), payload, sound.length, sound.rate, sound.mono, sound.sampleCount,
        sound.seekSamples);
    const std::uint16_t soundId = defineSound->characterId();
    movie.addTag(std::move(defineSound));

    SoundInfo info;
    info.syncFlags = SoundInfo::kSyncNoMultiple;
    movie.addTag(std::make_unique<StartSoundTag>(soundId, std::move(info)));
}

Mp3StreamSplit splitSound(const Mp3Sound& sound, std::int32_t rate256, std::int32_t frameCount) {
    return splitMp3Frames(sound.bytes->data() + sound.start, sound.length, rate256, frameCount,
                          sound.seekSamples);
}

StreamedSound::StreamedSound(Mp3Sound sound, Mp3StreamSplit split)
    : sound_(std::move(sound)), split_(std::move(split)) {}

void StreamedSound::addHead(SwfMovie& movie) const {
    const std::int32_t latency = split_.blocks.empty() ? 0 : split_.blocks[0].seekSamples;
    movie.addTag(std::make_unique<SoundStreamHead2Tag>(
        sound_.rate, sound_.mono, static_cast<std::uint16_t>(split_.samplesPerFrame),
        static_cast<std::int16_t>(latency)));
}

void StreamedSound::addBlock(SwfMovie& movie, std::size_t frame) const {
    if (frame >= split_.blocks.size() || split_.blocks[frame].spans.empty()) return;
    const Mp3Block& block = split_.blocks[frame];
    const std::uint8_t* payload = sound_.bytes->data() + sound_.start;
    std::vector<ByteRun> runs;
    for (const Mp3Span& span : block.spans) runs.push_back({payload + span.offset, span.length});
    movie.addTag(std::make_unique<SoundStreamBlockTag>(
        static_cast<std::uint16_t>(block.sampleCount), static_cast<std::int16_t>(block.seekSamples),
        std::move(runs)));
}

}  // namespace vantrel
