// A video file from any bytes: opened, measured, and a few frames grabbed,
// the first two, the last, one in the middle and one by time. A grab that
// succeeds gives a picture of the video's size.
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
        if (grabbed &&
            (picture.width != source.videoWidth() || picture.height != source.videoHeight())) {
            std::abort();
        }
    };
    for (const std::int32_t index : {0, 1, count - 1, count / 2}) {
        check(source.grabFrame(index, picture));
    }
    check(source.grabAtTime(seconds / 3, picture));
    return 0;
}
