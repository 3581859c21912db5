#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "support/Bytes.h"

namespace vantrel::test {

// A chunk of a PNG file: its type, where its length field starts and where
// its checksum ends.
struct PngChunk {
    std::string type;
    std::size_t start = 0;
    std::size_t end = 0;
};

// The chunks of a whole PNG file, in order.
inline std::vector<PngChunk> pngChunks(const Bytes& png) {
    std::vector<PngChunk> chunks;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::size_t length = std::size_t{png[at]} << 24 | std::size_t{png[at + 1]} << 16 |
                                   std::size_t{png[at + 2]} << 8 | png[at + 3];
        chunks.push_back({std::string(png.begin() + at + 4, png.begin() + at + 8), at,
                          at + 12 + length});
        at = chunks.back().end;
    }
    return chunks;
}

// The file with one bit of the checksum of its first chunk of `type` changed.
inline Bytes withBadChecksum(Bytes png, const std::string& type) {
    for (const PngChunk& chunk : pngChunks(png)) {
        if (chunk.type == type) {
            png[chunk.end - 1] ^= 0x01;
            return png;
        }
    }
    ADD_FAILURE() << "no " << type << " chunk";
    return png;
}

}  // namespace vantrel::test
