#include "image/ImageReaders.h"

#include <new>
#include <utility>

namespace vantrel {

bool decodePicture(PictureReader reader, RasterImage& picture, const std::uint8_t* data,
                   std::uint32_t size, Fault* why, std::vector<Fault>* warnings) {
    switch (reader) {
        case PictureReader::Tga:
            return decodeTga(picture, data, size, why);
        case PictureReader::Bmp:
            return decodeBmp(picture, data, size, true, why);
        case PictureReader::Jpeg:
            return decodeJpeg(picture, data, size, why);
        case PictureReader::Png:
            return decodePng(picture, data, size, why, warnings);
        case PictureReader::None:
            break;
    }
    if (why != nullptr) {
        why->code = FaultCode::Unsupported;
        why->step = FaultStep::ChooseReader;
        why->detail = "no picture reader for this kind of file";
    }
    return false;
}

bool refusePicture(Fault* why, FaultCode code, std::string detail) {
    if (why != nullptr) {
        why->code = code;
        why->step = FaultStep::DecodePicture;
        why->detail = std::move(detail);
    }
    return false;
}

bool refusePictureSize(Fault* why, std::int64_t width, std::int64_t height) {
    const std::string size = std::to_string(width) + " x " + std::to_string(height) + " pixels";
    if (width <= 0 || height <= 0)
        return refusePicture(why, FaultCode::Damaged, size + ": no picture");
    return refusePicture(why, FaultCode::TooLarge, size + ": over the limit of 64 megapixels");
}

bool preparePicture(RasterImage& picture, std::int64_t width, std::int64_t height, Fault* why) {
    if (!fitsPictureLimit(width, height)) return refusePictureSize(why, width, height);
    try {
        picture.resize(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
    } catch (const std::bad_alloc&) {
        picture = RasterImage{};
        return refusePicture(why, FaultCode::OutOfMemory, "no memory for the picture");
    }
    return true;
}

}  // namespace vantrel
