#pragma once

#include <cstddef>
#include <fstream>
#include <string>
#include <vector>

#include "support/Bytes.h"
#include "support/Tools.h"

namespace vantrel::test {

// Changes two bytes in the middle of every third video packet of the file,
// from the second on, so that the decoder gives those frames partly
// decoded; the number of packets.
inline std::size_t damageEveryThirdPacket(const std::string& path) {
    const std::vector<Packet> packets = videoPackets(path);
    Bytes bytes = readFile(path);
    for (std::size_t k = 1; k < packets.size(); k += 3) {
        if (packets[k].size < 8) continue;
        bytes.at(packets[k].pos + packets[k].size / 2) ^= 0x5A;
        bytes.at(packets[k].pos + packets[k].size / 2 + 1) ^= 0xA5;
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return packets.size();
}

}  // namespace vantrel::test
