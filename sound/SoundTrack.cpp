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
    loaded.sound.sampleCount = encoded.sampleCount;
}

}  // namespace

LoadedSound loadCompanionSound(const std::string& mp3Path) {
    LoadedSound loaded;
    Mp3Source source;
    if (!source.load(mp3Path)) {
        if (source.fault().code != FaultCode::NotFound) loaded.warning = source.fault();
        return loaded;
    }
    if (const std::optional<Mp3Rate> rate = mp3RateOf(source.sampleRate())) {
        loaded.sound.start = source.payloadStart();
        loaded.sound.length = source.payloadLength();
        loaded.sound.rate = *rate;
        loaded.sound.mono = source.mono();
        loaded.sound.sampleCount = source.sampleCount();
        loaded.sound.bytes = source.takeBytes();
        return loaded;
    }
    EncodedMp3 encoded = encodeMp3(mp3Path, kMp3Demuxers);
    Fault fault = encoded.fault.value_or(
        Fault(FaultCode::SoundReencoded, FaultStep::ReencodeSound, mp3Path));
    fault.step = FaultStep::ReencodeSound;
    fault.values = {static_cast<double>(encoded.fault ? source.sampleRate() : encoded.sourceRate),
                    static_cast<double>(encoded.sampleRate)};
    loaded.warning = std::move(fault);
    if (!encoded.fault) take(loaded, std::move(encoded));
    return loaded;
}

LoadedSound loadVideoSound(const std::string& videoPath, double seconds) {
    LoadedSound loaded;
    EncodedMp3 encoded = encodeMp3(videoPath, kVideoDemuxers, seconds);
    if (!encoded.fault) {
        take(loaded, std::move(encoded));
    } else if (encoded.fault->code != FaultCode::NoSound) {
        loaded.warning = std::move(encoded.fault);
        loaded.warning->step = FaultStep::VideoSound;
    }
    return loaded;
}

void addSoundTrack(SwfMovie& movie, Mp3Sound sound, SourceBuffers& sourceBuffers) {
    sourceBuffers.push_back(std::move(sound.bytes));
    const std::uint8_t* payload = sourceBuffers.back()->data() + sound.start;

    auto defineSound = std::make_unique<DefineSoundTag>(
        movie.nextCharacterId(), payload, sound.length, sound.rate, sound.mono, sound.sampleCount);
    const std::uint16_t soundId = defineSound->characterId();
    movie.addTag(std::move(defineSound));

    SoundInfo info;
    info.syncFlags = SoundInfo::kSyncNoMultiple;
    movie.addTag(std::make_unique<StartSoundTag>(soundId, std::move(info)));
}

}  // namespace vantrel
