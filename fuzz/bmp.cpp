// The BMP reader through both entries: the whole file, and the in-memory
// bitmap that starts at its info header.
#include <cstdint>

#include "FuzzLimits.h"
#include "image/ImageReaders.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto length = vantrel::fuzz::clampedLength(size);
    vantrel::RasterImage picture;
    vantrel::decodeBmp(picture, data, length, true);
    vantrel::RasterImage inMemory;
    vantrel::decodeBmp(inMemory, data, length, false);
    return 0;
}
