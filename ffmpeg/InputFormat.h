#pragma once

#include <string>
#include <string_view>

#include "ffmpeg/FfmpegHandles.h"

namespace vantrel {

// Opens the local file at `path` for reading with one of `demuxers`
// (FFmpeg's names, comma separated, as the format table lists them), so a
// file cannot make FFmpeg read other files or URLs. Returns the AVERROR of
// the open, 0 when `format` holds the opened file.
int openInputFile(FormatPtr& format, const std::string& path, std::string_view demuxers);

}  // namespace vantrel
