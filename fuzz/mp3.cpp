// The companion MP3 reader (and, for files at rates a movie cannot state,
// the re-encoding), and the sound tags made from what it accepts.
#include <cstdint>
#include <string>

#include "MemoryFile.h"
#include "sound/SoundTrack.h"
#include "swf/SwfStream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const vantrel::fuzz::MemoryFile file(data, size);
    if (!file.ready()) return 0;
    vantrel::LoadedSound loaded = vantrel::loadCompanionSound(file.path());
    if (!loaded.loaded()) {
        if (!loaded.warning) __builtin_trap();  // the file exists, so a reason is owed
        return 0;
    }
    vantrel::SwfMovie movie;
    vantrel::SourceBuffers sourceBuffers;
    vantrel::addSoundTrack(movie, std::move(loaded.sound), sourceBuffers);
    vantrel::SwfStream out;
    for (const auto& tag : movie.tags()) tag->write(out);
    return 0;
}
