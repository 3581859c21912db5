#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>

#include "support/Bytes.h"
#include "support/Tools.h"

namespace vantrel::test {

// Changes two bytes in the middle of every third video packet of the file,
// found by the ffprobe program; the number of packets, or 0 when ffprobe
// found none.
inline int damageVideoPackets(const std::filesystem::path& video) {
    std::istringstream packets(commandOutput(
        "ffprobe -v error -select_streams v -show_entries packet=pos,size -of csv=p=0 '" +
        video.string() + "'"));
    Bytes bytes = readFile(video);
    int packet = 0;
    for (std::size_t size, pos; packets >> size && packets.ignore() >> pos; ++packet) {
        if (packet % 3 != 1 || size < 8 || pos + size > bytes.size()) continue;
        bytes[pos + size / 2] ^= 0x5A;
        bytes[pos + size / 2 + 1] ^= 0xA5;
    }
    std::FILE* file = std::fopen(video.c_str(), "wb");
    if (file == nullptr) return 0;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written ? packet : 0;
}

}  // namespace vantrel::test
