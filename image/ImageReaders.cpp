#include "image/ImageReaders.h"

#include <new>

namespace vantrel {

bool preparePicture(RasterImage& picture, std::int64_t width, std::int64_t height) {
    if (!fitsPictureLimit(width, height)) return false;
    try {
        picture.resize(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
    } catch (const std::bad_alloc&) {
        picture = RasterImage{};
        return false;
    }
    return true;
}

}  // namespace vantrel
