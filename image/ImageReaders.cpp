#include "image/ImageReaders.h"

#include <new>
#include <utility>

namespace vantrel {

namespace {

// What the reader makes of the data: a refusal or warnings that name no file.
bool decodeWith(PictureReader reader, RasterImage& picture, const std::uint8_t* data,
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
    *why = Fault(FaultCode::Unsupported, FaultStep::ChooseReader, {},
                 "no picture reader for this kind of file");
    return false;
}

}  // namespace

bool decodePicture(PictureReader reader, RasterImage& picture, const std::uint8_t* data,
                   std::uint32_t size, Fault* why, std::vector<Fault>* warnings,
                   const FaultPlace& place) {
    // The readers' refusals and warnings, made into faults at the place.
    Fault refusal;
    std::vector<Fault> left;
    if (decodeWith(reader, picture, data, size, &refusal, &left)) {
        if (warnings != nullptr) {
            for (const Fault& out : left) warnings->push_back(place.fault(out.code, out.step));
        }
        return true;
    }
    if (why != nullptr) *why = place.fault(refusal.code, refusal.step, std::move(refusal.detail));
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
