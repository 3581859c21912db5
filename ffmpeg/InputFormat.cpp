#include "ffmpeg/InputFormat.h"

namespace vantrel {

int openInputFile(FormatPtr& format, const std::string& path, std::string_view demuxers) {
    format.reset();
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    av_dict_set(&options, "format_whitelist", std::string(demuxers).c_str(), 0);
    AVFormatContext* opened = nullptr;
    // The "file:" protocol, or a name with a colon would be taken for a URL.
    const std::string url = "file:" + path;
    const int result = avformat_open_input(&opened, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (result >= 0) format.reset(opened);
    return result;
}

}  // namespace vantrel
