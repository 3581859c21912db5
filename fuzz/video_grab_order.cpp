// Frames grabbed in a scrambled order are the frames a pass in order gives.
// The first bytes seed the order, the rest is the video. One source grabs
// frames 0, 1, 2, ... until one fails or enough are had; a second grabs in
// the scrambled order, back, repeated, far ahead, past the end and at the
// frame shown at a time. Each of its grabs must give the first source's
// picture at that index, or fail; past where the first source's pass ended,
// every grab must fail.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "MemoryFile.h"
#include "video/VideoFrameSource.h"

namespace {

constexpr std::size_t kSeedBytes = 4;
constexpr int kMaxFrames = 24;

bool samePicture(const vantrel::RasterImage& a, const vantrel::RasterImage& b) {
    return a.width == b.width && a.height == b.height && a.pixels == b.pixels;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    av_log_set_level(AV_LOG_QUIET);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kSeedBytes) return 0;
    std::uint32_t seed = 0;
    for (std::size_t i = 0; i < kSeedBytes; ++i) seed = seed << 8 | data[i];
    const vantrel::fuzz::MemoryFile file(data + kSeedBytes, size - kSeedBytes);
    if (!file.ready()) return 0;

    std::vector<vantrel::RasterImage> frames;
    bool ended = false;  // the pass ran out before kMaxFrames
    {
        vantrel::VideoFrameSource pass;
        if (!pass.open(file.path())) return 0;
        while (static_cast<int>(frames.size()) < kMaxFrames) {
            vantrel::RasterImage picture;
            if (!pass.grabFrame(static_cast<std::int32_t>(frames.size()), picture)) {
                // A grab fails at the end of the stream, or when a frame
                // does not convert; only the end makes later grabs fail too.
                ended = !pass.grabFrame(static_cast<std::int32_t>(frames.size()) + 1, picture);
                break;
            }
            frames.push_back(std::move(picture));
        }
    }
    const int known = static_cast<int>(frames.size());

    vantrel::VideoFrameSource source;
    if (!source.open(file.path())) std::abort();  // it opened a moment ago
    std::mt19937 order(seed);
    for (int grab = 0; grab < 2 * kMaxFrames; ++grab) {
        const std::uint32_t r = order();
        std::int32_t index = r % 8 == 0 ? known + static_cast<std::int32_t>(r >> 3) % 64
                                        : static_cast<std::int32_t>(r >> 3) % (known + 2);
        if (r % 8 == 1) index = source.frameShownAt((r >> 3) % 512 / 128.0);
        vantrel::RasterImage picture;
        bool grabbed;
        if (r & 0x100) {
            const std::shared_ptr<const vantrel::PendingPicture> pending = source.grabLater(index);
            grabbed = pending && pending->finish(picture);
        } else {
            grabbed = source.grabFrame(index, picture);
        }
        if (!grabbed) continue;
        if (index < known ? !samePicture(picture, frames[index]) : ended) std::abort();
    }
    return 0;
}
