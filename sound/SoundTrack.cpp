#include "sound/SoundTrack.h"

#include <filesystem>
#include <memory>
#include <sstream>

#include "sound/Mp3Encoder.h"
#include "sound/Mp3Source.h"

namespace vantrel {

namespace {

// The demuxers the sound is read with: MPEG audio for companion files, the
// containers of videos for theirs. Leaving out playlist and concatenation
// demuxers keeps a file from making FFmpeg read other files.
constexpr const char* kMp3Formats = "mp3";
constexpr const char* kVideoFormats = "avi,mpeg,mpegts,mpegvideo,m4v,mov,matroska,asf,dv,flv,ogg";

// "44.1 kHz", "48 kHz".
std::string kiloHertz(std::int32_t hz) {
    std::ostringstream text;
    text << hz / 1000.0 << " kHz";
    return text.str();
}

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
        if (source.failure() != Mp3Source::Failure::NotFound) loaded.problem = source.reason();
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
    const std::string name = std::filesystem::path(mp3Path).filename().string();
    EncodedMp3 encoded = encodeMp3(mp3Path, kMp3Formats);
    if (encoded.failure != EncodedMp3::Failure::None) {
        loaded.problem = "cannot re-encode " + mp3Path + " from " + kiloHertz(source.sampleRate()) +
                         ": " + encoded.reason;
        return loaded;
    }
    loaded.notice = name + " is at " + kiloHertz(encoded.sourceRate) + ", re-encoded at " +
                    kiloHertz(encoded.sampleRate);
    take(loaded, std::move(encoded));
    return loaded;
}

LoadedSound loadVideoSound(const std::string& videoPath, double seconds) {
    LoadedSound loaded;
    EncodedMp3 encoded = encodeMp3(videoPath, kVideoFormats, seconds);
    if (encoded.failure == EncodedMp3::Failure::Unusable) {
        loaded.problem = "cannot use the sound of " + videoPath + ": " + encoded.reason;
    } else if (encoded.failure == EncodedMp3::Failure::None) {
        take(loaded, std::move(encoded));
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
