#pragma once

#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <vector>

#include "support/Bytes.h"

namespace vantrel::test {

// Tag codes as the file format numbers them.
namespace tag {
constexpr std::uint16_t ShowFrame = 1, DefineShape = 2, DefineSound = 14, StartSound = 15,
                        SoundStreamBlock = 19, DefineBitsLossless = 20, DefineBitsJpeg2 = 21,
                        PlaceObject2 = 26, DefineBitsJpeg3 = 35, DefineBitsLossless2 = 36,
                        SoundStreamHead2 = 45;
}  // namespace tag

// The unsigned little-endian number of `bytes` bytes at `at`.
inline std::uint32_t littleEndian(const Bytes& body, std::size_t at, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | body.at(at + std::size_t(i));
    return value;
}

// A movie file read back: header fields and the tag records in order.
struct SwfFile {
    struct Tag {
        std::uint16_t code = 0;
        Bytes body;
    };

    bool valid = false;
    std::uint32_t fileLength = 0;
    std::int32_t width = 0;  // twips
    std::int32_t height = 0;
    std::uint16_t rate = 0;
    std::uint16_t frameCount = 0;
    std::vector<Tag> tags;  // End included

    std::vector<std::uint16_t> codes() const {
        std::vector<std::uint16_t> out;
        for (const Tag& t : tags) out.push_back(t.code);
        return out;
    }
    std::size_t count(std::uint16_t code) const {
        std::size_t n = 0;
        for (const Tag& t : tags) n += t.code == code;
        return n;
    }
    // The samples per channel of the movie's event sound; 0 without one.
    std::uint32_t soundSamples() const {
        for (const Tag& t : tags) {
            if (t.code == tag::DefineSound) return littleEndian(t.body, 3, 4);
        }
        return 0;
    }
};

// The picture of a 32-bit lossless bitmap tag: its size and its alpha, red,
// green, blue bytes; no bytes when they do not inflate to that size.
struct LosslessPicture {
    int width = 0;
    int height = 0;
    Bytes argb;
};

inline LosslessPicture losslessPicture(const SwfFile::Tag& bitmap) {
    LosslessPicture picture;
    picture.width = int(littleEndian(bitmap.body, 3, 2));
    picture.height = int(littleEndian(bitmap.body, 5, 2));
    picture.argb.resize(std::size_t(picture.width) * std::size_t(picture.height) * 4);
    uLongf length = picture.argb.size();
    const int inflated =
        uncompress(picture.argb.data(), &length, bitmap.body.data() + 7, bitmap.body.size() - 7);
    if (inflated != Z_OK || length != picture.argb.size()) picture.argb.clear();
    return picture;
}

// The pictures of the movie's lossless bitmap tags of `code`, in order.
inline std::vector<LosslessPicture> losslessPictures(const SwfFile& swf,
                                                     std::uint16_t code = tag::DefineBitsLossless) {
    std::vector<LosslessPicture> pictures;
    for (const SwfFile::Tag& t : swf.tags) {
        if (t.code == code) pictures.push_back(losslessPicture(t));
    }
    return pictures;
}

inline SwfFile readSwf(const std::filesystem::path& path) {
    SwfFile swf;
    const Bytes file = readFile(path);
    if (file.size() < 21 || file[0] != 'F' || file[1] != 'W' || file[2] != 'S') return swf;
    swf.fileLength = file[4] | file[5] << 8 | file[6] << 16 | static_cast<std::uint32_t>(file[7]) << 24;
    BitReader bits(file.data() + 8, file.size() - 8);
    const unsigned n = bits.readUBits(5);
    bits.readSBits(n);
    swf.width = bits.readSBits(n);
    bits.readSBits(n);
    swf.height = bits.readSBits(n);
    std::size_t pos = 8 + bits.bytePosition();
    if (pos + 4 > file.size()) return swf;
    swf.rate = static_cast<std::uint16_t>(file[pos] | file[pos + 1] << 8);
    swf.frameCount = static_cast<std::uint16_t>(file[pos + 2] | file[pos + 3] << 8);
    pos += 4;
    while (pos + 2 <= file.size()) {
        const std::uint16_t header = static_cast<std::uint16_t>(file[pos] | file[pos + 1] << 8);
        pos += 2;
        std::uint32_t length = header & 0x3F;
        if (length == 0x3F) {
            if (pos + 4 > file.size()) return swf;
            length = file[pos] | file[pos + 1] << 8 | file[pos + 2] << 16 |
                     static_cast<std::uint32_t>(file[pos + 3]) << 24;
            pos += 4;
        }
        if (pos + length > file.size()) return swf;
        swf.tags.push_back({static_cast<std::uint16_t>(header >> 6),
                            Bytes(file.begin() + pos, file.begin() + pos + length)});
        pos += length;
        if (swf.tags.back().code == 0) break;
    }
    swf.valid = pos == file.size() && swf.fileLength == file.size() && !swf.tags.empty() &&
                swf.tags.back().code == 0;
    return swf;
}

}  // namespace vantrel::test
