#include "sound/SoundTrack.h"

#include <memory>

#include "sound/Mp3Source.h"
#include "sound/SoundTags.h"

namespace vantrel {

bool addSoundTrack(SwfMovie& movie, const std::string& mp3Path, SourceBuffers& sourceBuffers,
                   std::string* problem) {
    if (problem != nullptr) problem->clear();
    Mp3Source source;
    if (!source.load(mp3Path)) {
        if (problem != nullptr && source.failure() != Mp3Source::Failure::NotFound) {
            *problem = source.reason();
        }
        return false;
    }

    sourceBuffers.push_back(source.takeBytes());
    const std::uint8_t* payload = sourceBuffers.back()->data() + source.payloadStart();

    auto defineSound =
        std::make_unique<DefineSoundTag>(movie.nextCharacterId(), payload, source.payloadLength(),
                                         source.mono(), source.sampleCount());
    const std::uint16_t soundId = defineSound->characterId();
    movie.addTag(std::move(defineSound));

    SoundInfo info;
    info.syncFlags = SoundInfo::kSyncNoMultiple;
    movie.addTag(std::make_unique<StartSoundTag>(soundId, std::move(info)));
    return true;
}

}  // namespace vantrel
