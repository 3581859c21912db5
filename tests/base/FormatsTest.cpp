#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/Formats.h"

namespace vantrel {
namespace {

// A file name's row: by its last extension, letter case aside.
TEST(Formats, NamesFindTheirRow) {
    const struct {
        const char* name;
        const char* extension;  // nullptr: no row
        MediaKind kind;
        PictureReader reader;
    } cases[] = {
        {"walk001.bmp", "bmp", MediaKind::Picture, PictureReader::Bmp},
        {"WALK001.TGA", "tga", MediaKind::Picture, PictureReader::Tga},
        {"x.JPEG", "jpeg", MediaKind::Picture, PictureReader::Jpeg},
        {"x.jpg", "jpg", MediaKind::Picture, PictureReader::Jpeg},
        {"a.b/x.png", "png", MediaKind::Picture, PictureReader::Png},
        {"trip.MP4", "mp4", MediaKind::Video, PictureReader::None},
        {"00001.MTS", "mts", MediaKind::Video, PictureReader::None},
        {"movie.3gp", "3gp", MediaKind::Video, PictureReader::None},
        {"clip.avi.mp3", "mp3", MediaKind::Sound, PictureReader::None},
        {"x.gif", nullptr, MediaKind::Picture, PictureReader::None},
        {"a.png/x", nullptr, MediaKind::Picture, PictureReader::None},
        {"png", nullptr, MediaKind::Picture, PictureReader::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const InputFormat* format = formatOfName(c.name);
        if (c.extension == nullptr) {
            EXPECT_EQ(format, nullptr);
            continue;
        }
        ASSERT_NE(format, nullptr);
        EXPECT_EQ(format->extension, c.extension);
        EXPECT_EQ(format->kind, c.kind);
        EXPECT_EQ(format->reader, c.reader);
        EXPECT_EQ(format->demuxers.empty(), c.kind == MediaKind::Picture);
    }
}

// The scan order: pictures before videos, TGA first (it wins over a BMP of
// the same number); the companion sound is not scanned for.
TEST(Formats, PatternsInScanOrder) {
    EXPECT_EQ(patternList(MediaKind::Picture), "*.tga, *.bmp, *.jpg, *.jpeg, *.png");
    EXPECT_EQ(patternList(MediaKind::Video),
              "*.avi, *.mpg, *.mpeg, *.mp4, *.m4v, *.mov, *.mkv, *.webm, *.wmv, *.flv, *.ogv, "
              "*.ts, *.m2ts, *.mts, *.vob, *.3gp, *.dv");
    EXPECT_EQ(patternList(MediaKind::Sound), "*.mp3");
}

// Transport stream packets of 188 bytes, of 192 with a 4-byte time before
// the sync byte, and of 204 with check bytes after the packet; two packets
// at least are looked at, eight at most.
TEST(Formats, TransportStreamsStartWithASyncByteInEachPacket) {
    const auto packets = [](std::size_t size, std::size_t sync, std::size_t count) {
        std::vector<std::uint8_t> bytes(size * count, 0xFF);
        for (std::size_t k = 0; k < count; ++k) bytes[k * size + sync] = 0x47;
        return bytes;
    };
    std::vector<std::uint8_t> ninthBroken = packets(188, 0, 9);
    ninthBroken[8 * 188] = 0;
    std::vector<std::uint8_t> thirdBroken = packets(192, 4, 9);
    thirdBroken[2 * 192 + 4] = 0;
    // A 'G' where the first two packets would start, not the third.
    const std::string source =
        "Gather(): void {}\n" + std::string(170, ' ') + "Go();\n" + std::string(400, ' ');
    const struct {
        const char* what;
        std::vector<std::uint8_t> bytes;
        bool stream;
    } cases[] = {
        {"188", packets(188, 0, 9), true},
        {"192", packets(192, 4, 3), true},
        {"204", packets(204, 0, 2), true},
        {"only the ninth packet broken", ninthBroken, true},
        {"third packet broken", thirdBroken, false},
        {"one packet", packets(188, 0, 1), false},
        {"188 read as 192", packets(188, 4, 9), false},
        {"TypeScript", std::vector<std::uint8_t>(source.begin(), source.end()), false},
        {"nothing", {}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(startsAsTransportStream(c.bytes.data(), c.bytes.size()), c.stream) << c.what;
    }
}

}  // namespace
}  // namespace vantrel
