#include <cstdint>

#include "FuzzLimits.h"
#include "image/ImageReaders.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vantrel::RasterImage picture;
    vantrel::decodeTga(picture, data, vantrel::fuzz::clampedLength(size));
    return 0;
}
