#pragma once

#include <cstdint>
#include <vector>

#include "swf/SwfTag.h"

namespace vantrel {

// DefineBitsJPEG2: one complete JPEG stream, referred to, not copied. The
// data must stay alive until the movie is written.
class DefineBitsJpeg2Tag : public SwfCharacterTag {
public:
    DefineBitsJpeg2Tag(std::uint16_t characterId, const std::uint8_t* jpegData,
                       std::uint32_t jpegLength);
    void write(SwfStream& out) const override;

private:
    const std::uint8_t* jpegData_;
    std::uint32_t jpegLength_;
};

// DefineBitsJPEG3: a JPEG stream of the colours and a zlib-compressed alpha
// plane, both referred to, not copied.
class DefineBitsJpeg3Tag : public SwfCharacterTag {
public:
    DefineBitsJpeg3Tag(std::uint16_t characterId, const std::uint8_t* jpegData,
                       std::uint32_t jpegLength, const std::uint8_t* alphaData,
                       std::uint32_t alphaLength);
    void write(SwfStream& out) const override;

private:
    const std::uint8_t* jpegData_;
    std::uint32_t jpegLength_;
    const std::uint8_t* alphaData_;
    std::uint32_t alphaLength_;
};

// The compressed content of a lossless bitmap: the colour table followed by
// the pixels, in one zlib stream (see compressLevel9).
struct LosslessBitmap {
    std::uint8_t format = 5;  // 5: 32-bit pixels, alpha red green blue
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint32_t colorCount = 0;
    std::vector<std::uint8_t> compressedData;

    // Compresses `raw`: the colour table, if any, followed by the pixels.
    // False when compressing fails, e.g. out of memory.
    static bool compress(std::uint8_t format, std::uint16_t width, std::uint16_t height,
                         std::uint32_t colorCount, const std::vector<std::uint8_t>& raw,
                         LosslessBitmap& out);
};

// DefineBitsLossless (20) or DefineBitsLossless2 (36): owns its compressed
// pixel data, so the picture it came from may change at once.
class LosslessBitmapTag : public SwfCharacterTag {
public:
    LosslessBitmapTag(std::uint16_t characterId, LosslessBitmap bitmap, bool hasAlpha);
    void write(SwfStream& out) const override;
    const LosslessBitmap& bitmap() const { return bitmap_; }

private:
    LosslessBitmap bitmap_;
    bool hasAlpha_;
};

class DefineBitsLosslessTag : public LosslessBitmapTag {
public:
    DefineBitsLosslessTag(std::uint16_t characterId, LosslessBitmap bitmap)
        : LosslessBitmapTag(characterId, std::move(bitmap), false) {}
};

class DefineBitsLossless2Tag : public LosslessBitmapTag {
public:
    DefineBitsLossless2Tag(std::uint16_t characterId, LosslessBitmap bitmap)
        : LosslessBitmapTag(characterId, std::move(bitmap), true) {}
};

// libdeflate's level for the bitmap streams. From 8 on the zlib header reads
// 78 DA (best compression). At 9 the streams are within a fraction of a
// percent of zlib's level 9 on filmed and rendered frames and at most a few
// kilobytes larger on flat-colour ones, at two to three times the speed;
// 10 and above are as slow as zlib or slower (bench_frames).
inline constexpr int kDeflateLevel = 9;

// Compresses `size` bytes into one zlib stream at kDeflateLevel, in `out`
// (resized to fit). False when memory runs out. Safe to call from several
// threads at once.
bool compressLevel9(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out);

}  // namespace vantrel
