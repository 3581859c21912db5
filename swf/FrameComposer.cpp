#include "swf/FrameComposer.h"

#include <memory>

#include "image/JpegCodec.h"
#include "swf/ShapeTags.h"

namespace vantrel {

namespace {

constexpr std::uint16_t kPictureDepth = 1;

std::uint8_t blue(std::uint32_t p) { return p & 0xFF; }
std::uint8_t green(std::uint32_t p) { return (p >> 8) & 0xFF; }
std::uint8_t red(std::uint32_t p) { return (p >> 16) & 0xFF; }
std::uint8_t alpha(std::uint32_t p) { return p >> 24; }

// Alpha, red, green, blue bytes for the lossless tags; the caller's picture
// is not touched.
std::vector<std::uint8_t> argbBytes(const RasterImage& picture, bool premultiplied) {
    std::vector<std::uint8_t> out(picture.pixels.size() * 4);
    std::uint8_t* o = out.data();
    for (const std::uint32_t p : picture.pixels) {
        const std::uint8_t a = alpha(p);
        o[0] = a;
        if (premultiplied) {
            o[1] = premultiply(red(p), a);
            o[2] = premultiply(green(p), a);
            o[3] = premultiply(blue(p), a);
        } else {
            o[1] = red(p);
            o[2] = green(p);
            o[3] = blue(p);
        }
        o += 4;
    }
    return out;
}

std::uint32_t premultiplied(std::uint32_t p) {
    const std::uint8_t a = alpha(p);
    return static_cast<std::uint32_t>(a) << 24 |
           static_cast<std::uint32_t>(premultiply(red(p), a)) << 16 |
           static_cast<std::uint32_t>(premultiply(green(p), a)) << 8 | premultiply(blue(p), a);
}

// The same bytes as argbBytes, written over the picture's own pixels: a
// picture the encoder owns needs no second copy of its size.
void toArgbInPlace(RasterImage& picture, bool premultiplyColours) {
    for (std::uint32_t& pixel : picture.pixels) {
        const std::uint32_t p = premultiplyColours ? premultiplied(pixel) : pixel;
        auto* bytes = reinterpret_cast<std::uint8_t*>(&pixel);
        bytes[0] = alpha(p);
        bytes[1] = red(p);
        bytes[2] = green(p);
        bytes[3] = blue(p);
    }
}

RasterImage premultipliedCopy(const RasterImage& picture) {
    RasterImage copy;
    copy.resize(picture.width, picture.height);
    for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
        copy.pixels[i] = premultiplied(picture.pixels[i]);
    }
    return copy;
}

bool fail(Fault* why, const FaultPlace& place, FaultCode code, const std::string& reason) {
    if (why != nullptr) *why = place.fault(code, FaultStep::StorePicture, reason);
    return false;
}

}  // namespace

std::optional<EncodedFrame> encodeFrame(const RasterImage& picture, const FrameStorage& storage,
                                        Fault* why, const FaultPlace& place) {
    if (picture.width <= 0 || picture.height <= 0) {
        fail(why, place, FaultCode::Damaged, "empty picture");
        return std::nullopt;
    }
    if (picture.width > kMaxPictureSide || picture.height > kMaxPictureSide) {
        fail(why, place, FaultCode::TooLarge,
             "picture of " + std::to_string(picture.width) + " x " +
                 std::to_string(picture.height) + " pixels is larger than 65535 pixels");
        return std::nullopt;
    }

    EncodedFrame frame;
    frame.width = picture.width;
    frame.height = picture.height;
    const bool withAlpha = storage.includeAlpha;

    if (storage.compression == CompressionType::Lossless) {
        frame.storage =
            withAlpha ? EncodedFrame::Storage::LosslessWithAlpha : EncodedFrame::Storage::Lossless;
        if (!LosslessBitmap::compress(5, static_cast<std::uint16_t>(picture.width),
                                      static_cast<std::uint16_t>(picture.height), 0,
                                      argbBytes(picture, withAlpha), frame.lossless)) {
            fail(why, place, FaultCode::OutOfMemory, "cannot compress the picture");
            return std::nullopt;
        }
        return frame;
    }

    const JpegEncoder encoder{storage.colorQuality};
    if (!withAlpha) {
        frame.storage = EncodedFrame::Storage::Jpeg;
        if (!encoder.encode(picture, frame.jpeg)) {
            fail(why, place, FaultCode::Unsupported, "cannot encode the picture as JPEG");
            return std::nullopt;
        }
        return frame;
    }

    frame.storage = EncodedFrame::Storage::JpegWithAlpha;
    if (!encoder.encode(premultipliedCopy(picture), frame.jpeg)) {
        fail(why, place, FaultCode::Unsupported, "cannot encode the picture as JPEG");
        return std::nullopt;
    }
    std::vector<std::uint8_t> plane(picture.pixels.size());
    for (std::size_t i = 0; i < plane.size(); ++i) plane[i] = alpha(picture.pixels[i]);
    if (!compressLevel9(plane.data(), plane.size(), frame.alpha)) {
        fail(why, place, FaultCode::OutOfMemory, "cannot compress the alpha channel");
        return std::nullopt;
    }
    return frame;
}

std::optional<EncodedFrame> encodeFrame(RasterImage&& picture, const FrameStorage& storage,
                                        Fault* why, const FaultPlace& place) {
    RasterImage owned = std::move(picture);
    const bool lossless = storage.compression == CompressionType::Lossless;
    if (!lossless && !storage.includeAlpha) return encodeFrame(owned, storage, why, place);
    if (owned.width <= 0 || owned.height <= 0 || owned.width > kMaxPictureSide ||
        owned.height > kMaxPictureSide) {
        return encodeFrame(owned, storage, why, place);  // refused there, with the reason
    }

    EncodedFrame frame;
    frame.width = owned.width;
    frame.height = owned.height;
    std::optional<EncodedFrame> result;
    if (lossless) {
        frame.storage = storage.includeAlpha ? EncodedFrame::Storage::LosslessWithAlpha
                                             : EncodedFrame::Storage::Lossless;
        frame.lossless.width = static_cast<std::uint16_t>(owned.width);
        frame.lossless.height = static_cast<std::uint16_t>(owned.height);
        toArgbInPlace(owned, storage.includeAlpha);
        if (!compressLevel9(reinterpret_cast<const std::uint8_t*>(owned.pixels.data()),
                            owned.pixels.size() * 4, frame.lossless.compressedData)) {
            fail(why, place, FaultCode::OutOfMemory, "cannot compress the picture");
            return std::nullopt;
        }
        return frame;
    }

    frame.storage = EncodedFrame::Storage::JpegWithAlpha;
    std::vector<std::uint8_t> plane(owned.pixels.size());
    for (std::size_t i = 0; i < plane.size(); ++i) plane[i] = alpha(owned.pixels[i]);
    for (std::uint32_t& pixel : owned.pixels) pixel = premultiplied(pixel);
    if (!JpegEncoder{storage.colorQuality}.encode(owned, frame.jpeg)) {
        fail(why, place, FaultCode::Unsupported, "cannot encode the picture as JPEG");
        return std::nullopt;
    }
    owned = RasterImage();
    if (!compressLevel9(plane.data(), plane.size(), frame.alpha)) {
        fail(why, place, FaultCode::OutOfMemory, "cannot compress the alpha channel");
        return std::nullopt;
    }
    frame.jpeg.shrink_to_fit();
    return frame;
}

void addFrameTags(SwfMovie& movie, EncodedFrame frame, SourceBuffers& sourceBuffers) {
    const std::uint16_t bitmapId = movie.nextCharacterId();
    switch (frame.storage) {
        case EncodedFrame::Storage::Lossless:
            movie.addTag(
                std::make_unique<DefineBitsLosslessTag>(bitmapId, std::move(frame.lossless)));
            break;
        case EncodedFrame::Storage::LosslessWithAlpha:
            movie.addTag(
                std::make_unique<DefineBitsLossless2Tag>(bitmapId, std::move(frame.lossless)));
            break;
        case EncodedFrame::Storage::Jpeg: {
            auto jpeg = std::make_unique<SourceBuffer>(std::move(frame.jpeg));
            movie.addTag(std::make_unique<DefineBitsJpeg2Tag>(
                bitmapId, jpeg->data(), static_cast<std::uint32_t>(jpeg->size())));
            sourceBuffers.push_back(std::move(jpeg));
            break;
        }
        case EncodedFrame::Storage::JpegWithAlpha: {
            auto jpeg = std::make_unique<SourceBuffer>(std::move(frame.jpeg));
            auto plane = std::make_unique<SourceBuffer>(std::move(frame.alpha));
            movie.addTag(std::make_unique<DefineBitsJpeg3Tag>(
                bitmapId, jpeg->data(), static_cast<std::uint32_t>(jpeg->size()), plane->data(),
                static_cast<std::uint32_t>(plane->size())));
            sourceBuffers.push_back(std::move(jpeg));
            sourceBuffers.push_back(std::move(plane));
            break;
        }
    }

    const std::uint16_t shapeId = movie.nextCharacterId();
    movie.addTag(makePictureShape(shapeId, bitmapId, frame.width, frame.height));

    // The first picture is placed fresh with a matrix; every later shape
    // replaces whatever stands at the picture depth. Players ignore a
    // replacement at an empty depth, so this goes by what was placed before,
    // not by the id: a sound track defined before the first picture must not
    // leave the movie blank.
    if (movie.placementCount() == 0) {
        movie.addTag(std::make_unique<PlaceObject2Tag>(true, false, kPictureDepth, shapeId,
                                                       SwfMatrix::identity()));
    } else {
        movie.addTag(
            std::make_unique<PlaceObject2Tag>(true, true, kPictureDepth, shapeId, std::nullopt));
    }
}

bool composeFrame(SwfMovie& movie, const RasterImage& picture, const FrameStorage& storage,
                  SourceBuffers& sourceBuffers, Fault* why) {
    std::optional<EncodedFrame> frame = encodeFrame(picture, storage, why);
    if (!frame) return false;
    addFrameTags(movie, std::move(*frame), sourceBuffers);
    return true;
}

}  // namespace vantrel
