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

bool decodePicture(PictureReader reader, RasterImage& picture, const std::uint8_t* data,
                   std::uint32_t size, Fault* why) {
    bool decoded = false;
    switch (reader) {
        case PictureReader::Tga: decoded = decodeTga(picture, data, size); break;
        case PictureReader::Bmp: decoded = decodeBmp(picture, data, size, true); break;
        case PictureReader::Jpeg: decoded = decodeJpeg(picture, data, size); break;
        case PictureReader::Png: decoded = decodePng(picture, data, size); break;
        case PictureReader::None:
            if (why != nullptr) *why = Fault(FaultCode::Unsupported, FaultStep::ChooseReader);
            return false;
    }
    if (!decoded && why != nullptr) *why = Fault(FaultCode::Damaged, FaultStep::DecodePicture);
    return decoded;
}

}  // namespace vantrel
