#include <gtest/gtest.h>

#include <string>

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
              "*.avi, *.mpg, *.mpeg, *.mp4, *.m4v, *.mov, *.mkv, *.webm, *.wmv, *.flv, *.ogv");
    EXPECT_EQ(patternList(MediaKind::Sound), "*.mp3");
}

}  // namespace
}  // namespace vantrel
