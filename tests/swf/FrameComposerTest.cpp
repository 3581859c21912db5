#include <gtest/gtest.h>
#include <zlib.h>

#include "support/Bytes.h"
#include "swf/BitmapTags.h"
#include "swf/FrameComposer.h"
#include "swf/ShapeTags.h"

namespace vantrel::test {
namespace {

RasterImage gradient(std::int32_t w, std::int32_t h, std::uint8_t alpha = 255) {
    RasterImage picture;
    picture.resize(w, h);
    for (std::int32_t y = 0; y < h; ++y) {
        for (std::int32_t x = 0; x < w; ++x) {
            picture.pixels[y * w + x] = static_cast<std::uint32_t>(alpha) << 24 |
                                        static_cast<std::uint32_t>(x * 255 / w) << 16 |
                                        static_cast<std::uint32_t>(y * 255 / h) << 8 | 0x40;
        }
    }
    return picture;
}

Bytes losslessPixels(const SwfTag& tag) {
    const auto& bitmap = dynamic_cast<const LosslessBitmapTag&>(tag).bitmap();
    Bytes out(bitmap.width * bitmap.height * 4);
    uLongf length = out.size();
    EXPECT_EQ(
        uncompress(out.data(), &length, bitmap.compressedData.data(), bitmap.compressedData.size()),
        Z_OK);
    return out;
}

TEST(FrameComposer, FirstAndSecondJpegFrames) {
    FrameStorage settings;
    SourceBuffers buffers;
    SwfMovie movie;
    const RasterImage picture = gradient(100, 50);
    ASSERT_TRUE(composeFrame(movie, picture, settings, buffers));
    ASSERT_TRUE(composeFrame(movie, picture, settings, buffers));
    const auto& tags = movie.tags();
    ASSERT_EQ(tags.size(), 6u);

    const auto* bitmap = dynamic_cast<const DefineBitsJpeg2Tag*>(tags[0].get());
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->characterId(), 1);
    const Bytes shape = written(*tags[1]);
    EXPECT_EQ(Bytes(shape.begin(), shape.begin() + 11), hex("A6 00 02 00 60 00 3E 80 00 1F 40"));
    EXPECT_EQ(written(*tags[2]), hex("86 06 06 01 00 02 00 00"));

    EXPECT_EQ(dynamic_cast<const DefineBitsJpeg2Tag&>(*tags[3]).characterId(), 3);
    EXPECT_EQ(dynamic_cast<const DefineShapeTag&>(*tags[4]).characterId(), 4);
    EXPECT_EQ(written(*tags[5]), hex("85 06 03 01 00 04 00"));

    ASSERT_EQ(buffers.size(), 2u);  // one JPEG stream per frame
    const SourceBuffer& jpeg = *buffers[0];
    ASSERT_GT(jpeg.size(), 4u);
    EXPECT_EQ(Bytes(jpeg.begin(), jpeg.begin() + 2), hex("FF D8"));
    EXPECT_EQ(Bytes(jpeg.end() - 2, jpeg.end()), hex("FF D9"));
    const Bytes jpegRecord = written(*tags[0]);
    EXPECT_EQ(jpegRecord.size(), 6 + 2 + 4 + jpeg.size() + 2);
}

TEST(FrameComposer, AnIdDrawnBeforeThePictureShiftsTheIdsButNotThePlacement) {
    FrameStorage settings;
    SourceBuffers buffers;
    SwfMovie movie;
    EXPECT_EQ(movie.nextCharacterId(), 1);  // a sound track before any picture
    ASSERT_TRUE(composeFrame(movie, gradient(8, 8), settings, buffers));
    EXPECT_EQ(dynamic_cast<const SwfCharacterTag&>(*movie.tags()[0]).characterId(), 2);
    EXPECT_EQ(written(*movie.tags()[2]), hex("86 06 06 01 00 03 00 00"));
    EXPECT_EQ(movie.placementCount(), 1);
}

TEST(FrameComposer, AnIdDrawnAfterTheFirstPictureShiftsTheIds) {
    FrameStorage settings;
    SourceBuffers buffers;
    SwfMovie movie;
    const RasterImage picture = gradient(8, 8);
    ASSERT_TRUE(composeFrame(movie, picture, settings, buffers));
    EXPECT_EQ(movie.nextCharacterId(), 3);  // a sound track's DefineSound
    ASSERT_TRUE(composeFrame(movie, picture, settings, buffers));
    EXPECT_EQ(dynamic_cast<const SwfCharacterTag&>(*movie.tags()[3]).characterId(), 4);
    EXPECT_EQ(dynamic_cast<const SwfCharacterTag&>(*movie.tags()[4]).characterId(), 5);
}

TEST(FrameComposer, LosslessReordersWithoutTouchingThePicture) {
    FrameStorage settings;
    settings.compression = CompressionType::Lossless;
    SourceBuffers buffers;
    SwfMovie movie;
    RasterImage picture;
    picture.resize(1, 1);
    picture.pixels[0] = 0x40302010;  // bytes 10 20 30 40: blue, green, red, alpha
    ASSERT_TRUE(composeFrame(movie, picture, settings, buffers));
    EXPECT_EQ(picture.pixels[0], 0x40302010u);
    EXPECT_TRUE(buffers.empty());
    EXPECT_EQ(written(*movie.tags()[0])[0] >> 6 | written(*movie.tags()[0])[1] << 2, 20);
    EXPECT_EQ(losslessPixels(*movie.tags()[0]), hex("40 30 20 10"));

    // A repeated frame from the same picture stores the same bytes.
    ASSERT_TRUE(composeFrame(movie, picture, settings, buffers));
    EXPECT_EQ(losslessPixels(*movie.tags()[3]), hex("40 30 20 10"));
}

TEST(FrameComposer, AlphaIsStoredPremultiplied) {
    EXPECT_EQ(premultiply(200, 0), 0);
    EXPECT_EQ(premultiply(200, 255), 200);
    EXPECT_EQ(premultiply(255, 128), 128);
    EXPECT_EQ(premultiply(200, 128), 100);  // (200 * 128 + 127) / 255 = 100.8 -> 100

    FrameStorage settings;
    settings.compression = CompressionType::Lossless;
    settings.includeAlpha = true;
    SourceBuffers buffers;
    SwfMovie movie;
    RasterImage picture;
    picture.resize(3, 1);
    picture.pixels = {0xFFC86432, 0x80FFC864, 0x00FFFFFF};  // opaque, half, transparent
    ASSERT_TRUE(composeFrame(movie, picture, settings, buffers));
    EXPECT_EQ(written(*movie.tags()[0])[0] >> 6 | written(*movie.tags()[0])[1] << 2, 36);
    EXPECT_EQ(losslessPixels(*movie.tags()[0]), hex("FF C8 64 32  80 80 64 32  00 00 00 00"));
}

TEST(FrameComposer, JpegWithAlphaAddsACompleteAlphaPlane) {
    FrameStorage settings;
    settings.includeAlpha = true;
    SourceBuffers buffers;
    SwfMovie movie;
    RasterImage picture = gradient(2, 2, 0x80);
    picture.pixels[3] = 0x00FFFFFF;
    ASSERT_TRUE(composeFrame(movie, picture, settings, buffers));
    ASSERT_EQ(buffers.size(), 2u);  // the JPEG stream, then the alpha plane
    const SourceBuffer& plane = *buffers[1];
    ASSERT_GT(plane.size(), 6u);
    EXPECT_LE(plane.size(), 16u);
    EXPECT_EQ(Bytes(plane.begin(), plane.begin() + 2), hex("78 DA"));
    Bytes alpha(4);
    uLongf length = alpha.size();
    ASSERT_EQ(uncompress(alpha.data(), &length, plane.data(), plane.size()), Z_OK);
    EXPECT_EQ(alpha, hex("80 80 80 00"));
    const Bytes out = written(*movie.tags()[0]);
    EXPECT_EQ(out[0] >> 6 | out[1] << 2, 35);
    EXPECT_EQ(Bytes(out.end() - plane.size(), out.end()), Bytes(plane.begin(), plane.end()));
}

TEST(FrameComposer, PicturesThatCannotBeStoredGiveNoTags) {
    FrameStorage settings;
    SourceBuffers buffers;
    SwfMovie movie;
    Fault why;
    EXPECT_FALSE(composeFrame(movie, RasterImage{}, settings, buffers, &why));
    EXPECT_EQ(why.detail, "empty picture");
    RasterImage tooWide;
    tooWide.width = 70000;
    tooWide.height = 1;
    EXPECT_FALSE(composeFrame(movie, tooWide, settings, buffers, &why));
    EXPECT_NE(why.detail.find("65535"), std::string::npos);
    EXPECT_EQ(why.code, FaultCode::TooLarge);
    EXPECT_TRUE(movie.tags().empty());
    EXPECT_TRUE(buffers.empty());
    EXPECT_EQ(movie.nextCharacterId(), 1);
}

TEST(FrameComposer, OnePixelPicturesEncodeAsJpeg) {
    FrameStorage settings;
    SourceBuffers buffers;
    SwfMovie movie;
    EXPECT_TRUE(composeFrame(movie, gradient(1, 1), settings, buffers));
}

// A picture handed over is encoded in its own pixels; the result must be
// what encoding a borrowed picture gives, in every storage.
TEST(FrameComposer, HandedOverPicturesEncodeAsBorrowedOnes) {
    RasterImage picture = gradient(33, 17);
    for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
        picture.pixels[i] =
            (picture.pixels[i] & 0x00FFFFFF) | static_cast<std::uint32_t>(i * 7 % 256) << 24;
    }
    for (const CompressionType compression : {CompressionType::Jpeg, CompressionType::Lossless}) {
        for (const bool alpha : {false, true}) {
            const FrameStorage storage{compression, alpha, 75};
            const std::optional<EncodedFrame> borrowed = encodeFrame(picture, storage);
            const std::optional<EncodedFrame> owned = encodeFrame(RasterImage(picture), storage);
            ASSERT_TRUE(borrowed && owned);
            EXPECT_EQ(owned->storage, borrowed->storage);
            EXPECT_EQ(owned->jpeg, borrowed->jpeg) << alpha;
            EXPECT_EQ(owned->alpha, borrowed->alpha) << alpha;
            EXPECT_EQ(owned->lossless.compressedData, borrowed->lossless.compressedData) << alpha;
            EXPECT_EQ(owned->lossless.width, borrowed->lossless.width);
            EXPECT_EQ(owned->lossless.height, borrowed->lossless.height);
            EXPECT_EQ(owned->lossless.format, borrowed->lossless.format);
        }
    }
    EXPECT_FALSE(encodeFrame(RasterImage{}, FrameStorage{CompressionType::Lossless, true, 90}));
}

}  // namespace
}  // namespace vantrel::test
