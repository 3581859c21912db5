// The companion MP3 reader, and the sound tags made from what it accepts.
#include <cstdint>
#include <string>

#include "MemoryFile.h"
#include "sound/SoundTrack.h"
#include "swf/SwfStream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const vantrel::fuzz::MemoryFile file(data, size);
    if (!file.ready()) return 0;
    vantrel::SwfMovie movie;
    vantrel::SourceBuffers sourceBuffers;
    std::string problem;
    if (!vantrel::addSoundTrack(movie, file.path(), sourceBuffers, &problem)) {
        if (problem.empty()) __builtin_trap();  // the file exists, so a reason is owed
        return 0;
    }
    vantrel::SwfStream out;
    for (const auto& tag : movie.tags()) tag->write(out);
    return 0;
}
