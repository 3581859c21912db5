#include <gtest/gtest.h>
#include <spng.h>
#include <zlib.h>

#include <algorithm>
#include <tuple>

#include "image/ImageReaders.h"
#include "image/Pictures.h"

namespace vantrel {
namespace {

using namespace test;
using enum FaultCode;

bool decode(PictureReader reader, const Bytes& data, Fault& why, const FaultPlace& place = {}) {
    RasterImage p;
    return decodePicture(reader, p, data.data(), static_cast<std::uint32_t>(data.size()), &why,
                         nullptr, place);
}

// A refused input, the code it is refused with, and words of the detail:
// all of it where `exact`, else a part.
struct Refusal {
    Bytes data;
    FaultCode code;
    std::string words;
};

void expectRefusals(PictureReader reader, const std::vector<Refusal>& rows, bool exact = false) {
    for (const Refusal& row : rows) {
        SCOPED_TRACE(row.words);
        Fault why;
        EXPECT_FALSE(decode(reader, row.data, why));
        EXPECT_EQ(faultCodeName(why.code), faultCodeName(row.code)) << why.detail;
        EXPECT_EQ(why.step, FaultStep::DecodePicture);
        EXPECT_TRUE(why.path.empty());
        EXPECT_TRUE(exact ? why.detail == row.words
                          : why.detail.find(row.words) != std::string::npos)
            << why.detail;
    }
}

// A file of tests/data/image with `bytes` written at `at`.
Bytes changed(const char* name, std::size_t at, const Bytes& bytes) {
    Bytes file = picture(name);
    std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(at));
    return file;
}
Bytes cut(const char* name, std::size_t size) {
    Bytes file = picture(name);
    file.resize(size);
    return file;
}

TEST(Refusal, BmpNamesTheCheck) {
    const std::vector<Refusal> rows = {
        {{}, Damaged, "no data"},
        {cut("quad24_bmp3.bmp", 10), Damaged, "file header"},
        {changed("quad24_bmp3.bmp", 0, hex("58")), Damaged, "\"BM\""},
        {changed("quad24_bmp3.bmp", 14, hex("40")), Unsupported, "64 bytes"},
        {changed("quad24_bmp3.bmp", 30, hex("04")), Unsupported, "compression 4 (JPEG)"},
        {changed("quad4_bmp3.bmp", 28, hex("02")), Unsupported, "2 bits"},
        {changed("ramp8_bmp3.bmp", 30, hex("03")), Damaged, "compression 3 (bit fields) at 8 bits"},
        {changed("ramp8_rle.bmp", 22, hex("FE FF FF FF")), Damaged, "top-down"},
        {changed("ramp8_rle.bmp", 1078, hex("19")), Damaged, "code past the end of a row"},
        {cut("ramp8_rle.bmp", 1090), Damaged, "pixels to come"},
        {changed("ramp8_rle.bmp", 18, hex("A0 0F 00 00 D0 07")), TooLarge, "255"},
        {changed("quad24_bmp3.bmp", 18, hex("00 00 01 00 00 00 01")), TooLarge, "65536 x 65536"},
        {cut("quad24_bmp3.bmp", 100), Damaged, "too short for the rows"},
    };
    expectRefusals(PictureReader::Bmp, rows);
}

TEST(Refusal, TgaNamesTheCheck) {
    const std::vector<Refusal> rows = {
        {{}, Damaged, "no data"},
        {cut("quad24.tga", 10), Damaged, "header"},
        {changed("quad24.tga", 2, hex("20")), Unsupported, "image type 32"},
        {changed("quad24.tga", 1, hex("02")), Unsupported, "colour map type 2"},
        {changed("quad_palette.tga", 7, hex("08")), Unsupported, "8 bits"},
        {changed("quad24.tga", 12, hex("FF FF FF FF")), TooLarge, "65535"},
        {changed("quad24.tga", 12, hex("00 00")), Damaged, "0 x 5"},
        {changed("quad24.tga", 0, hex("FF")), Damaged, "image ID"},
        {cut("quad24.tga", 60), Damaged, "too short for the pixels"},
        {changed("quad_palette_rle.tga", 49, hex("04")), Damaged,
         "colour map index 4 outside the map of 4 entries from 0"},
        // quad24_rle.tga: its first packet at 18, 4 pixels of 3 bytes.
        {changed("quad24_rle.tga", 18, hex("FF")), Damaged, "past the last pixel"},
        {cut("quad24_rle.tga", 20), Damaged, "past the end of the data"},
        {cut("quad24_rle.tga", 22), Damaged, "ends before the last pixel"},
    };
    expectRefusals(PictureReader::Tga, rows);
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
    const std::vector<Refusal> rows = {
        {{}, Damaged, "no data"},
        {changed("png_rgba8.png", 1, hex("70")), Damaged, spng_strerror(SPNG_ESIGNATURE)},
        {changed("png_rgba8.png", 29, hex("00")), Damaged, spng_strerror(SPNG_ECHUNK_CRC)},
        {cut("png_rgba8.png", 200), Damaged, spng_strerror(SPNG_IO_EOF)},
        {png(0x78, hex("19"), 0x70), Damaged, spng_strerror(SPNG_EIDAT_STREAM)},
        {png(24, hex("03")), Unsupported, spng_strerror(SPNG_EBIT_DEPTH)},
        {png(28, hex("02")), Unsupported, spng_strerror(SPNG_EINTERLACE_METHOD)},
        {png(0x25, hex("47"), 0x21), Unsupported, spng_strerror(SPNG_ECHUNK_UNKNOWN_CRITICAL)},
        {png(16, hex("04 00 00 01")), TooLarge, spng_strerror(SPNG_EUSER_WIDTH)},
        {png(16, hex("00 00 20 01 00 00 20 00")), TooLarge,
         "8193 x 8192 pixels: over the limit of 64 megapixels"},
        {png(16, hex("00 00 1F 40 00 00 1F 40")), Damaged,
         "a file of 279 bytes too short for the 256000000 bytes of samples it announces"},
    };
    expectRefusals(PictureReader::Png, rows, true);
}

TEST(Refusal, JpegKeepsTheLibraryMessage) {
    // grey.jpg: its frame header (FF C0) at 89, precision at 93, height,
    // width and component count from 94, the next marker at 102.
    Bytes twoComponents = changed("grey.jpg", 92, hex("0E 08 00 10 00 10 02"));
    twoComponents.insert(twoComponents.begin() + 102, {2, 0x11, 0});
    const std::vector<Refusal> rows = {
        {{}, Damaged, "no data"},
        {picture("quad24_bmp3.bmp"), Damaged, "Not a JPEG file"},
        {cut("grey.jpg", 100), Damaged, "Premature end of JPEG file"},
        {changed("grey.jpg", 94, hex("00 00")), Damaged, "Empty JPEG image"},
        {changed("grey.jpg", 90, hex("C3")), Unsupported, "SOF type 0xc3"},
        {changed("grey.jpg", 93, hex("0C")), Unsupported, "precision 12"},
        {twoComponents, Unsupported, "colour space of 2 components"},
        {changed("grey.jpg", 94, hex("FF FF FF FF")), TooLarge, "65500"},
        {changed("grey.jpg", 94, hex("EA 60 EA 60")), TooLarge, "60000 x 60000"},
    };
    expectRefusals(PictureReader::Jpeg, rows);
}

TEST(Refusal, DecodePictureReachesEachReader) {
    // A decoded picture leaves the fault as it was; a refusal names the
    // place given. The tables above show each reader's refusals coming
    // through.
    const Fault kept(Stopped, FaultStep::ReadFile, "kept");
    const Fault noReader(Unsupported, FaultStep::ChooseReader, "kept",
                         "no picture reader for this kind of file");
    const std::tuple<PictureReader, const char*, Fault> rows[] = {
        {PictureReader::Tga, "quad24.tga", kept},
        {PictureReader::Bmp, "quad24_bmp3.bmp", kept},
        {PictureReader::Jpeg, "redblue.jpg", kept},
        {PictureReader::Png, "png_rgb8.png", kept},
        {PictureReader::None, "quad24.tga", noReader},
    };
    for (const auto& [reader, name, expected] : rows) {
        Fault why = kept;
        EXPECT_EQ(decode(reader, picture(name), why, {"kept"}), expected == kept) << name;
        EXPECT_TRUE(why == expected) << name << ": " << why.detail;
    }
}

}  // namespace
}  // namespace vantrel
