// A whole frame: any picture file decoded by the reader its first bytes
// suggest, stored in each of the four ways, streamed into a movie and written.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "FuzzLimits.h"
#include "MovieFolder.h"
#include "image/ImageReaders.h"
#include "swf/FrameComposer.h"
#include "swf/ShapeTags.h"

namespace {

bool decode(vantrel::RasterImage& picture, const std::uint8_t* data, std::size_t size) {
    const std::uint32_t length = vantrel::fuzz::clampedLength(size);
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
        return vantrel::decodeBmp(picture, data, length, true);
    }
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xD8) {
        return vantrel::decodeJpeg(picture, data, length);
    }
    if (size >= 4 && data[0] == 0x89 && data[1] == 'P' && data[2] == 'N' && data[3] == 'G') {
        return vantrel::decodePng(picture, data, size);
    }
    return vantrel::decodeTga(picture, data, length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vantrel::RasterImage picture;
    if (!decode(picture, data, size) || !vantrel::fuzz::smallEnoughToEncode(picture)) return 0;

    static const vantrel::fuzz::MovieFolder folder;
    const std::filesystem::path moviePath = folder.path() / "frame.swf";
    vantrel::SwfMovie movie;
    vantrel::Fault why;
    if (!movie.streamTo(moviePath, vantrel::pixelsToTwips(picture.width),
                        vantrel::pixelsToTwips(picture.height), why)) {
        std::abort();
    }
    vantrel::SourceBuffers sourceBuffers;
    const vantrel::CompressionType compressions[] = {vantrel::CompressionType::Jpeg,
                                                     vantrel::CompressionType::Lossless};
    for (const auto compression : compressions) {
        for (const bool includeAlpha : {false, true}) {
            const vantrel::FrameStorage storage{compression, includeAlpha,
                                                static_cast<std::int32_t>(size % 100) + 1};
            // Every picture a reader gives must be storable.
            if (!vantrel::composeFrame(movie, picture, storage, sourceBuffers)) std::abort();
            movie.addTag(std::make_unique<vantrel::ShowFrameTag>());
            sourceBuffers.clear();
        }
    }
    if (!movie
             .write(moviePath, vantrel::pixelsToTwips(picture.width),
                    vantrel::pixelsToTwips(picture.height), 12 * 256)
             .written) {
        std::abort();
    }
    std::filesystem::remove(moviePath);
    return 0;
}
