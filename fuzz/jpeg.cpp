// The JPEG decoder, and the encoder on whatever it decoded: the encoder must
// take any picture a reader can give.
#include <cstdint>
#include <vector>

#include "FuzzLimits.h"
#include "image/ImageReaders.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vantrel::RasterImage picture;
    if (!vantrel::decodeJpeg(picture, data, vantrel::fuzz::clampedLength(size))) return 0;
    if (!vantrel::fuzz::smallEnoughToEncode(picture)) return 0;
    std::vector<std::uint8_t> encoded;
    const vantrel::JpegEncoder encoder{static_cast<std::int32_t>(size % 100) + 1};
    if (!encoder.encode(picture, encoded)) __builtin_trap();
    return 0;
}
