#include "image/PictureScaler.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

namespace vantrel {
namespace {

struct ScalerFreer {
    void operator()(SwsContext* p) const { sws_freeContext(p); }
};

// a * b / c rounded to the nearest whole number, halves up; c > 0.
std::int32_t roundedShare(std::int64_t a, std::int64_t b, std::int64_t c) {
    return static_cast<std::int32_t>((2 * a * b + c) / (2 * c));
}

// One channel of a picture as a plane of bytes. Rows start 64 bytes apart
// at least and a spare row follows the last, as libswscale's vector code
// reads and writes whole blocks past a row's end.
struct Plane {
    Plane(std::int32_t width, std::int32_t height)
        : stride((width + 63) & ~63),
          bytes(static_cast<std::size_t>(stride) * (static_cast<std::size_t>(height) + 1)) {}
    int stride;
    std::vector<std::uint8_t> bytes;
};

constexpr int kChannels = 4;  // blue, green, red, alpha: the bytes of a pixel

std::uint8_t premultiply(std::uint32_t colour, std::uint32_t alpha) {
    return static_cast<std::uint8_t>((colour * alpha + 127) / 255);
}

// The colour a premultiplied one stands for; the filter's overshoot can
// leave it above its alpha.
std::uint32_t unpremultiply(std::uint32_t colour, std::uint32_t alpha) {
    if (alpha == 255 || alpha == 0) return alpha == 0 ? 0 : colour;
    return std::min<std::uint32_t>(255, (colour * 255 + alpha / 2) / alpha);
}

}  // namespace

PictureSize fitInside(std::int32_t width, std::int32_t height, const PictureBox& box) {
    if (!box.limits() || (width <= box.width && height <= box.height)) return {width, height};
    // The side whose share of the box is the smaller meets it.
    if (std::int64_t{width} * box.height >= std::int64_t{height} * box.width) {
        return {box.width, std::max(1, roundedShare(height, box.width, width))};
    }
    return {std::max(1, roundedShare(width, box.height, height)), box.height};
}

bool fitPicture(RasterImage& picture, const PictureBox& box, bool keepAlpha) {
    const PictureSize size = fitInside(picture.width, picture.height, box);
    if (size.width == picture.width && size.height == picture.height) return true;
    // Accurate rounding: without it libswscale's 8-bit output drifts by
    // a level here and there, and flat areas do not stay flat.
    const std::unique_ptr<SwsContext, ScalerFreer> scaler(sws_getContext(
        picture.width, picture.height, AV_PIX_FMT_GRAY8, size.width, size.height, AV_PIX_FMT_GRAY8,
        kDownscaleFilter | SWS_ACCURATE_RND, nullptr, nullptr, nullptr));
    if (!scaler) return false;
    const int channels = keepAlpha ? kChannels : kChannels - 1;
    std::vector<Plane> from(channels, Plane(picture.width, picture.height));
    std::vector<Plane> to(channels, Plane(size.width, size.height));

    for (std::int32_t y = 0; y < picture.height; ++y) {
        const std::uint32_t* row =
            picture.pixels.data() + static_cast<std::size_t>(y) * picture.width;
        const std::size_t at = static_cast<std::size_t>(y) * from[0].stride;
        for (std::int32_t x = 0; x < picture.width; ++x) {
            const std::uint32_t pixel = row[x];
            const std::uint32_t alpha = keepAlpha ? pixel >> 24 : 255;
            for (int c = 0; c < 3; ++c) {
                from[c].bytes[at + x] = premultiply(pixel >> (8 * c) & 0xFF, alpha);
            }
            if (keepAlpha) from[3].bytes[at + x] = static_cast<std::uint8_t>(alpha);
        }
    }
    for (int c = 0; c < channels; ++c) {
        const std::uint8_t* in[4] = {from[c].bytes.data(), nullptr, nullptr, nullptr};
        const int inStrides[4] = {from[c].stride, 0, 0, 0};
        std::uint8_t* out[4] = {to[c].bytes.data(), nullptr, nullptr, nullptr};
        const int outStrides[4] = {to[c].stride, 0, 0, 0};
        if (sws_scale(scaler.get(), in, inStrides, 0, picture.height, out, outStrides) !=
            size.height) {
            return false;
        }
    }

    RasterImage scaled;
    scaled.resize(size.width, size.height);
    for (std::int32_t y = 0; y < size.height; ++y) {
        std::uint32_t* row = scaled.pixels.data() + static_cast<std::size_t>(y) * size.width;
        const std::size_t at = static_cast<std::size_t>(y) * to[0].stride;
        for (std::int32_t x = 0; x < size.width; ++x) {
            const std::uint32_t alpha = keepAlpha ? to[3].bytes[at + x] : 255;
            std::uint32_t pixel = alpha << 24;
            for (int c = 0; c < 3; ++c) {
                pixel |= unpremultiply(to[c].bytes[at + x], alpha) << (8 * c);
            }
            row[x] = pixel;
        }
    }
    picture = std::move(scaled);
    return true;
}

}  // namespace vantrel
