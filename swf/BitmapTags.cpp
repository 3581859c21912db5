#include "swf/BitmapTags.h"

#include <libdeflate.h>

#include <memory>
#include <new>

namespace vantrel {

namespace {
// The JPEG data of SWF files before version 8 starts with an empty
// encoding-tables stream (EOI then SOI); players expect it.
void writeJpegImageData(SwfStream& body, const std::uint8_t* data, std::uint32_t length) {
    body.writeU8(0xFF);
    body.writeU8(0xD9);
    body.writeU8(0xFF);
    body.writeU8(0xD8);
    body.addReference(data, length);
    body.writeU8(0xFF);
    body.writeU8(0xD9);
}
}  // namespace

bool compressLevel9(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out) {
    // A compressor of our own on every call: a few microseconds against
    // milliseconds of compressing, and nothing shared between threads.
    const std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)> compressor(
        libdeflate_alloc_compressor(kDeflateLevel), &libdeflate_free_compressor);
    if (compressor == nullptr) {
        out.clear();
        return false;
    }
    // Room for the worst case, left uninitialised: only the pages the stream
    // fills are ever touched, and `out` gets just the stream.
    const std::size_t capacity = libdeflate_zlib_compress_bound(compressor.get(), size);
    const std::unique_ptr<std::uint8_t[]> room(new (std::nothrow) std::uint8_t[capacity]);
    const std::size_t length =
        room ? libdeflate_zlib_compress(compressor.get(), data, size, room.get(), capacity) : 0;
    if (length == 0) {
        out.clear();
        return false;
    }
    out.assign(room.get(), room.get() + length);
    return true;
}

DefineBitsJpeg2Tag::DefineBitsJpeg2Tag(std::uint16_t characterId, const std::uint8_t* jpegData,
                                       std::uint32_t jpegLength)
    : SwfCharacterTag(characterId), jpegData_(jpegData), jpegLength_(jpegLength) {}

void DefineBitsJpeg2Tag::write(SwfStream& out) const {
    SwfStream body;
    body.writeU16(characterId());
    writeJpegImageData(body, jpegData_, jpegLength_);
    writeTagRecord(out, TagCode::DefineBitsJpeg2, body);
}

DefineBitsJpeg3Tag::DefineBitsJpeg3Tag(std::uint16_t characterId, const std::uint8_t* jpegData,
                                       std::uint32_t jpegLength, const std::uint8_t* alphaData,
                                       std::uint32_t alphaLength)
    : SwfCharacterTag(characterId),
      jpegData_(jpegData),
      jpegLength_(jpegLength),
      alphaData_(alphaData),
      alphaLength_(alphaLength) {}

void DefineBitsJpeg3Tag::write(SwfStream& out) const {
    SwfStream body;
    body.writeU16(characterId());
    body.writeU32(jpegLength_ + 6);  // AlphaDataOffset: the whole JPEG image data
    writeJpegImageData(body, jpegData_, jpegLength_);
    body.addReference(alphaData_, alphaLength_);
    writeTagRecord(out, TagCode::DefineBitsJpeg3, body);
}

bool LosslessBitmap::compress(std::uint8_t format, std::uint16_t width, std::uint16_t height,
                              std::uint32_t colorCount, const std::vector<std::uint8_t>& raw,
                              LosslessBitmap& out) {
    out.format = format;
    out.width = width;
    out.height = height;
    out.colorCount = colorCount;
    return compressLevel9(raw.data(), raw.size(), out.compressedData);
}

LosslessBitmapTag::LosslessBitmapTag(std::uint16_t characterId, LosslessBitmap bitmap,
                                     bool hasAlpha)
    : SwfCharacterTag(characterId), bitmap_(std::move(bitmap)), hasAlpha_(hasAlpha) {}

void LosslessBitmapTag::write(SwfStream& out) const {
    SwfStream body;
    body.writeU16(characterId());
    body.writeU8(bitmap_.format);
    body.writeU16(bitmap_.width);
    body.writeU16(bitmap_.height);
    if (bitmap_.format <= 3) body.writeU8(bitmap_.colorCount - 1);
    body.addReference(bitmap_.compressedData.data(),
                      static_cast<std::uint32_t>(bitmap_.compressedData.size()));
    writeTagRecord(out, hasAlpha_ ? TagCode::DefineBitsLossless2 : TagCode::DefineBitsLossless,
                   body);
}

}  // namespace vantrel
