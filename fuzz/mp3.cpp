// The companion MP3 reader, the re-encoding of whatever else FFmpeg decodes
// (other rates and layers, AAC, WAV and the other kinds named .mp3), and the
// sound tags made from what it gives.
#include <cstdint>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "MemoryFile.h"
#include "sound/Mp3Source.h"
#include "sound/SoundTrack.h"
#include "swf/SwfStream.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    av_log_set_level(AV_LOG_QUIET);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const vantrel::fuzz::MemoryFile file(data, size);
    if (!file.ready()) return 0;
    vantrel::LoadedSound loaded = vantrel::loadCompanionSound(file.path());
    if (!loaded.loaded()) {
        if (!loaded.warning) __builtin_trap();  // the file exists, so a reason is owed
        return 0;
    }
    // What is taken as it is, without a word, starts with whole frames.
    const vantrel::Mp3Sound& sound = loaded.sound;
    if (!loaded.warning &&
        !vantrel::startsMpegRun(sound.bytes->data() + sound.start, sound.length)) {
        __builtin_trap();
    }
    vantrel::SwfMovie movie;
    vantrel::SourceBuffers sourceBuffers;
    vantrel::addSoundTrack(movie, std::move(loaded.sound), sourceBuffers);
    vantrel::SwfStream out;
    for (const auto& tag : movie.tags()) tag->write(out);
    return 0;
}
