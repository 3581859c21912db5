#include <cstdint>

#include "image/ImageReaders.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vantrel::RasterImage picture;
    vantrel::decodePng(picture, data, size);
    return 0;
}
