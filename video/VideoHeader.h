#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/Fault.h"
#include "ffmpeg/FfmpegHandles.h"
#include "video/Orientation.h"

namespace vantrel {

// Opens the file with the video demuxers and finds its streams with
// FFmpeg's probe (avformat_find_stream_info), which decodes no frame larger
// than the pictures' limit. Returns the index of the best video stream, or
// -1 with `failure` set: NoVideo for a file without a video stream,
// TooLarge for frames over the limit, Unreadable otherwise.
int openVideoStreams(FormatPtr& format, const std::string& path, FaultCode& failure);

// What a video's header tells of the movie it will make, read by FFmpeg's
// probe as the decoder opens the file, without decoding it: a few
// milliseconds a file. The decoder refuses every file the header refuses,
// and more (a first frame that does not decode).
struct VideoHeader {
    // Why the video cannot be opened: Unreadable (also without a decoder or
    // a frame rate), NoVideo or TooLarge; nothing when it can.
    std::optional<FaultCode> failure;
    // The best video stream's size as shown, turned as `orientation` says;
    // 0 where the header states none.
    std::int32_t width = 0;
    std::int32_t height = 0;
    Orientation orientation;
    // Where the video stream ends and how long the file lasts (its longest
    // stream: the movie holds the last picture while a longer sound plays),
    // in seconds, as the file states them. 0 where it states none: program,
    // transport and raw streams, whose length FFmpeg only estimates from
    // their timestamps, and whose frames the decoder counts.
    double picturesEnd = 0.0;
    double length = 0.0;
    // The best audio stream is of a codec FFmpeg decodes.
    bool sound = false;
};

VideoHeader readVideoHeader(const std::string& path);

}  // namespace vantrel
