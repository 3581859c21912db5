#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "support/Bytes.h"

namespace vantrel::test {

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
};

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
