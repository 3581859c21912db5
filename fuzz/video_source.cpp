// A video file from any bytes: opened, measured, and a few frames grabbed,
// the first two, the last, one in the middle and one by time. A grab that
// succeeds gives a picture of the video's size as shown (turned, where the
// stream says so), every pixel of it written over the cleared picture.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

extern "C" {
#include <libavutil/log.h>
}

#include "MemoryFile.h"
#include "video/VideoFrameSource.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    av_log_set_level(AV_LOG_QUIET);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const vantrel::fuzz::MemoryFile file(data, size);
    if (!file.ready()) return 0;
    vantrel::VideoFrameSource source;
    if (!source.open(file.path())) return 0;
    const std::int32_t count = source.frameCount();
    const double seconds = source.durationSeconds();
    vantrel::RasterImage picture;
    const auto check = [&](bool grabbed) {
        if (!grabbed) return;
        if (picture.width != source.videoWidth() || picture.height != source.videoHeight() ||
            std::any_of(picture.pixels.begin(), picture.pixels.end(),
                        [](std::uint32_t pixel) { return pixel >> 24 != 0xFF; })) {
            std::abort();
        }
    };
    // Cleared to transparent before each grab, so that a pixel left
    // unwritten shows.
    const auto clear = [&] { std::fill(picture.pixels.begin(), picture.pixels.end(), 0u); };
    for (const std::int32_t index : {0, 1, count - 1, count / 2}) {
        clear();
        check(source.grabFrame(index, picture));
    }
    clear();
    check(source.grabAtTime(seconds / 3, picture));
    return 0;
}
