#include <gtest/gtest.h>
#include <spng.h>
#include <zlib.h>

#include <algorithm>

#include "image/ImageReaders.h"
#include "image/Pictures.h"

namespace vantrel {
namespace {

using namespace test;

// A refused input, the code it is refused with, and words of the detail:
// all of it where `exact`, else a part; none to check when empty.
struct Refusal {
    Bytes data;
    FaultCode code;
    std::string words;
};

template <typename Decode>
void expectRefusals(const std::vector<Refusal>& rows, Decode decode, bool exact = false) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Refusal& row = rows[i];
        RasterImage p;
        Fault why;
        EXPECT_FALSE(decode(p, row.data, &why)) << "row " << i;
        EXPECT_EQ(faultCodeName(why.code), faultCodeName(row.code))
            << "row " << i << ": " << why.detail;
        EXPECT_EQ(why.step, FaultStep::DecodePicture) << "row " << i;
        EXPECT_TRUE(why.path.empty()) << "row " << i;
        EXPECT_FALSE(why.detail.empty()) << "row " << i;
        if (exact && !row.words.empty()) {
            EXPECT_EQ(why.detail, row.words) << "row " << i;
        } else if (!exact) {
            EXPECT_NE(why.detail.find(row.words), std::string::npos) << why.detail;
        }
    }
}

// A file of tests/data/image, or bytes, with `bytes` written at `at`.
Bytes changed(Bytes file, std::size_t at, const Bytes& bytes) {
    std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(at));
    return file;
}
Bytes changed(const char* name, std::size_t at, const Bytes& bytes) {
    return changed(picture(name), at, bytes);
}
Bytes cut(const char* name, std::size_t size) {
    Bytes file = picture(name);
    file.resize(size);
    return file;
}

TEST(Refusal, BmpNamesTheCheck) {
    expectRefusals(
        {
            {{}, FaultCode::Damaged, "no data"},
            {cut("quad24_bmp3.bmp", 10), FaultCode::Damaged, "file header"},
            {changed("quad24_bmp3.bmp", 0, hex("58")), FaultCode::Damaged, "\"BM\""},
            {changed("quad24_bmp3.bmp", 14, hex("40")), FaultCode::Unsupported, "64 bytes"},
            {changed("quad24_bmp3.bmp", 30, hex("04")), FaultCode::Unsupported,
             "compression 4 (JPEG) is not read"},
            {changed("quad4_bmp3.bmp", 28, hex("02")), FaultCode::Unsupported, "2 bits"},
            {changed("ramp8_bmp3.bmp", 30, hex("03")), FaultCode::Damaged,
             "compression 3 (bit fields) at 8 bits"},
            {changed("ramp8_rle.bmp", 22, hex("FE FF FF FF")), FaultCode::Damaged, "top-down"},
            {changed("ramp8_rle.bmp", 1078, hex("19")), FaultCode::Damaged,
             "run-length code past the end of a row"},
            {cut("ramp8_rle.bmp", 1090), FaultCode::Damaged, "pixels to come"},
            {changed("ramp8_rle.bmp", 18, hex("A0 0F 00 00 D0 07")), FaultCode::TooLarge, "255"},
            {changed("quad24_bmp3.bmp", 18, hex("00 00 01 00 00 00 01")), FaultCode::TooLarge,
             "65536 x 65536 pixels"},
            {changed("quad24_bmp3.bmp", 18, hex("00 00 00 00")), FaultCode::Damaged, "0 x 5"},
            {cut("quad24_bmp3.bmp", 100), FaultCode::Damaged, "too short for the rows"},
        },
        [](RasterImage& p, const Bytes& data, Fault* why) {
            return decodeBmp(p, data.data(), static_cast<std::uint32_t>(data.size()), true, why);
        });
}

TEST(Refusal, TgaNamesTheCheck) {
    expectRefusals(
        {
            {{}, FaultCode::Damaged, "no data"},
            {cut("quad24.tga", 10), FaultCode::Damaged, "header"},
            {changed("quad24.tga", 2, hex("20")), FaultCode::Unsupported, "image type 32"},
            {changed("quad24.tga", 1, hex("02")), FaultCode::Unsupported, "colour map type 2"},
            {changed("quad_palette.tga", 7, hex("08")), FaultCode::Unsupported, "8 bits"},
            {changed("quad24.tga", 12, hex("FF FF FF FF")), FaultCode::TooLarge, "65535"},
            {changed("quad24.tga", 12, hex("00 00")), FaultCode::Damaged, "0 x 5"},
            {changed("quad24.tga", 0, hex("FF")), FaultCode::Damaged, "image ID"},
            {cut("quad24.tga", 60), FaultCode::Damaged, "too short for the pixels"},
            {changed("quad_palette_rle.tga", 49, hex("04")), FaultCode::Damaged,
             "colour map index 4 outside the map of 4 entries from 0"},
            // quad24_rle.tga: its first packet at 18, 4 pixels of 3 bytes.
            {changed("quad24_rle.tga", 18, hex("FF")), FaultCode::Damaged, "past the last pixel"},
            {cut("quad24_rle.tga", 20), FaultCode::Damaged, "past the end of the data"},
            {cut("quad24_rle.tga", 22), FaultCode::Damaged, "ends before the last pixel"},
        },
        [](RasterImage& p, const Bytes& data, Fault* why) {
            return decodeTga(p, data.data(), static_cast<std::uint32_t>(data.size()), why);
        });
}

// png_rgba8.png with `bytes` written at `at`, inside the chunk whose length
// field is at `chunk` (IHDR's at 12), its checksum made good again.
Bytes png(std::size_t at, const Bytes& bytes, std::size_t chunk = 12) {
    Bytes f = changed("png_rgba8.png", at, bytes);
    const std::uint32_t length = f[chunk + 3];  // every chunk of this file is short
    const auto crc = static_cast<std::uint32_t>(crc32(0, f.data() + chunk + 4, length + 4));
    for (std::size_t i = 0; i < 4; ++i)
        f[chunk + 8 + length + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
    return f;
}

TEST(Refusal, PngKeepsTheLibraryError) {
    expectRefusals(
        {
            {{}, FaultCode::Damaged, "no data"},
            {changed("png_rgba8.png", 1, hex("70")), FaultCode::Damaged,
             spng_strerror(SPNG_ESIGNATURE)},
            {changed("png_rgba8.png", 29, hex("00")), FaultCode::Damaged,
             spng_strerror(SPNG_ECHUNK_CRC)},
            {cut("png_rgba8.png", 200), FaultCode::Damaged, spng_strerror(SPNG_IO_EOF)},
            {png(0x78, hex("19"), 0x70), FaultCode::Damaged, spng_strerror(SPNG_EIDAT_STREAM)},
            {png(24, hex("03")), FaultCode::Unsupported, spng_strerror(SPNG_EBIT_DEPTH)},
            {png(28, hex("02")), FaultCode::Unsupported, spng_strerror(SPNG_EINTERLACE_METHOD)},
            {png(0x25, hex("47"), 0x21), FaultCode::Unsupported,
             spng_strerror(SPNG_ECHUNK_UNKNOWN_CRITICAL)},
            {png(16, hex("04 00 00 01")), FaultCode::TooLarge, spng_strerror(SPNG_EUSER_WIDTH)},
            {png(16, hex("80 00 00 00")), FaultCode::TooLarge, spng_strerror(SPNG_EWIDTH)},
            {png(16, hex("00 00 20 01 00 00 20 00")), FaultCode::TooLarge, ""},
            {png(16, hex("00 00 1F 40 00 00 1F 40")), FaultCode::Damaged, ""},
        },
        [](RasterImage& p, const Bytes& data, Fault* why) {
            return decodePng(p, data.data(), data.size(), why);
        },
        true);
}

TEST(Refusal, JpegKeepsTheLibraryMessage) {
    // grey.jpg: its frame header (FF C0) at 89, precision at 93, height,
    // width and component count from 94, the next marker at 102.
    Bytes twoComponents = changed("grey.jpg", 92, hex("0E 08 00 10 00 10 02"));
    twoComponents.insert(twoComponents.begin() + 102, {2, 0x11, 0});
    expectRefusals(
        {
            {{}, FaultCode::Damaged, "no data"},
            {picture("quad24_bmp3.bmp"), FaultCode::Damaged, "Not a JPEG file"},
            {cut("grey.jpg", 100), FaultCode::Damaged, "Premature end of JPEG file"},
            {changed("grey.jpg", 94, hex("00 00")), FaultCode::Damaged, "Empty JPEG image"},
            {changed("grey.jpg", 90, hex("C3")), FaultCode::Unsupported, "SOF type 0xc3"},
            {changed("grey.jpg", 93, hex("0C")), FaultCode::Unsupported, "precision 12"},
            {twoComponents, FaultCode::Unsupported, "colour space of 2 components"},
            {changed("grey.jpg", 94, hex("FF FF FF FF")), FaultCode::TooLarge, "65500"},
            {changed("grey.jpg", 94, hex("EA 60 EA 60")), FaultCode::TooLarge, "60000 x 60000"},
        },
        [](RasterImage& p, const Bytes& data, Fault* why) {
            return decodeJpeg(p, data.data(), static_cast<std::uint32_t>(data.size()), why);
        });
}

TEST(Refusal, DecodePictureReachesEachReader) {
    // A decoded picture leaves the fault as it was (Stopped, ReadFile).
    struct Row {
        PictureReader reader;
        const char* name;
        bool decodes;
        FaultCode code;
        FaultStep step;
    };
    const Row rows[] = {
        {PictureReader::Tga, "quad24.tga", true, FaultCode::Stopped, FaultStep::ReadFile},
        {PictureReader::Bmp, "quad24_bmp3.bmp", true, FaultCode::Stopped, FaultStep::ReadFile},
        {PictureReader::Jpeg, "redblue.jpg", true, FaultCode::Stopped, FaultStep::ReadFile},
        {PictureReader::Png, "png_rgb8.png", true, FaultCode::Stopped, FaultStep::ReadFile},
        {PictureReader::Png, "redblue.jpg", false, FaultCode::Damaged, FaultStep::DecodePicture},
        {PictureReader::None, "quad24.tga", false, FaultCode::Unsupported, FaultStep::ChooseReader},
    };
    for (const Row& row : rows) {
        const Bytes data = picture(row.name);
        const auto size = static_cast<std::uint32_t>(data.size());
        RasterImage p;
        Fault why(FaultCode::Stopped, FaultStep::ReadFile, "kept");
        EXPECT_EQ(decodePicture(row.reader, p, data.data(), size, &why), row.decodes) << row.name;
        EXPECT_EQ(faultCodeName(why.code), faultCodeName(row.code)) << row.name;
        EXPECT_EQ(why.step, row.step) << row.name;
        EXPECT_EQ(why.path, "kept") << row.name;
    }
}

}  // namespace
}  // namespace vantrel
