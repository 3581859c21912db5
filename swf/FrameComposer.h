#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/Fault.h"
#include "base/FaultPlace.h"
#include "image/RasterImage.h"
#include "swf/BitmapTags.h"
#include "swf/FrameStorage.h"
#include "swf/SourceBuffers.h"
#include "swf/SwfMovie.h"

namespace vantrel {

// One picture stored as `storage` asks: the costly half of a frame
// (JPEG encoding, compression). It depends on nothing but the picture and
// the storage, so frames can be encoded in any order or at once.
struct EncodedFrame {
    enum class Storage { Jpeg, JpegWithAlpha, Lossless, LosslessWithAlpha };

    Storage storage = Storage::Jpeg;
    std::int32_t width = 0;
    std::int32_t height = 0;
    SourceBuffer jpeg;        // the JPEG stream, for JPEG storage
    SourceBuffer alpha;       // the zlib alpha plane, for JPEG with alpha
    LosslessBitmap lossless;  // for lossless storage
};

// The largest picture side a bitmap tag can hold.
constexpr std::int32_t kMaxPictureSide = 65535;

// Encodes the picture; the picture itself is left unchanged. With alpha,
// colours are stored premultiplied. Nothing when the picture is empty
// (0 x 0), too large for a bitmap tag, or cannot be encoded; `why` then says
// why (step StorePicture), naming the picture's place.
std::optional<EncodedFrame> encodeFrame(const RasterImage& picture, const FrameStorage& storage,
                                        Fault* why = nullptr, const FaultPlace& place = {});

// Adds the frame's bitmap, its picture rectangle and the placement at depth
// 1 to the movie, drawing the ids in that order. The JPEG data and alpha
// plane move onto sourceBuffers, which must outlive the movie's write.
void addFrameTags(SwfMovie& movie, EncodedFrame frame, SourceBuffers& sourceBuffers);

// The same, for a picture the caller hands over: its pixels are reused for
// the bytes to compress, so no copy of the picture's size is made.
std::optional<EncodedFrame> encodeFrame(RasterImage&& picture, const FrameStorage& storage,
                                        Fault* why = nullptr, const FaultPlace& place = {});

// encodeFrame then addFrameTags. False (and no tags) when the picture could
// not be stored.
bool composeFrame(SwfMovie& movie, const RasterImage& picture, const FrameStorage& storage,
                  SourceBuffers& sourceBuffers, Fault* why = nullptr);

// c * a / 255, rounded: colours as SWF bitmaps with alpha store them.
constexpr std::uint8_t premultiply(std::uint8_t c, std::uint8_t a) {
    return static_cast<std::uint8_t>((c * a + 127) / 255);
}

}  // namespace vantrel
