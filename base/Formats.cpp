#include "base/Formats.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "base/AsciiCase.h"

namespace vantrel {

namespace {

// Bytes of a file's start that startsAsTransportStream looks at, at most:
// eight of the longest packets.
constexpr std::size_t kTransportHeadBytes = 8 * 204;

}  // namespace

const InputFormat* formatOfName(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return nullptr;
    const std::string_view extension = name.substr(dot + 1);
    for (const InputFormat& format : kInputFormats) {
        if (asciiEqualIgnoringCase(format.extension, extension)) return &format;
    }
    return nullptr;
}

bool holdsSignature(const InputFormat& format, const std::string& path) {
    if (format.signature == Signature::None) return true;
    // Not through InputFile, which refuses files of 4 GiB and more: videos
    // are read in parts, and broadcast recordings are often larger.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    std::array<std::uint8_t, kTransportHeadBytes> head;
    std::size_t size = 0;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        while (size < head.size()) {
            const ssize_t got = ::read(fd, head.data() + size, head.size() - size);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            size += static_cast<std::size_t>(got);
        }
    }
    ::close(fd);
    return startsAsTransportStream(head.data(), size);
}

bool startsAsTransportStream(const std::uint8_t* head, std::size_t size) {
    constexpr std::uint8_t kSync = 0x47;
    constexpr std::size_t kMinPackets = 2;
    constexpr std::size_t kMaxPackets = 8;
    const struct {
        std::size_t packet;
        std::size_t sync;  // where in a packet its sync byte is
    } layouts[] = {{188, 0}, {192, 4}, {204, 0}};
    for (const auto& layout : layouts) {
        const std::size_t packets = std::min(size / layout.packet, kMaxPackets);
        if (packets < kMinPackets) continue;
        bool synced = true;
        for (std::size_t k = 0; k < packets && synced; ++k) {
            synced = head[k * layout.packet + layout.sync] == kSync;
        }
        if (synced) return true;
    }
    return false;
}

std::string scanPattern(const InputFormat& format) {
    return "*." + std::string(format.extension);
}

std::string patternList(MediaKind kind) {
    std::string list;
    for (const InputFormat& format : kInputFormats) {
        if (format.kind != kind) continue;
        if (!list.empty()) list += ", ";
        list += scanPattern(format);
    }
    return list;
}

}  // namespace vantrel
