#include "video/VideoHeader.h"

#include <algorithm>
#include <vector>

#include "base/Formats.h"
#include "ffmpeg/InputFormat.h"

namespace vantrel {

int openVideoStreams(FormatPtr& format, const std::string& path, FaultCode& failure) {
    failure = FaultCode::Unreadable;
    if (openInputFile(format, path, kVideoDemuxers) < 0) return -1;
    std::vector<AVDictionary*> codecOptions(format->nb_streams, nullptr);
    for (AVDictionary*& streamOptions : codecOptions) {
        av_dict_set_int(&streamOptions, "max_pixels", kMaxPicturePixels, 0);
    }
    const int found = avformat_find_stream_info(format.get(), codecOptions.data());
    for (AVDictionary*& streamOptions : codecOptions) av_dict_free(&streamOptions);
    if (found < 0) return -1;
    const int stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (stream < 0) {
        if (stream == AVERROR_STREAM_NOT_FOUND) failure = FaultCode::NoVideo;
        return -1;
    }
    const AVCodecParameters* parameters = format->streams[stream]->codecpar;
    if ((parameters->width != 0 || parameters->height != 0) &&
        !fitsPictureLimit(parameters->width, parameters->height)) {
        failure = FaultCode::TooLarge;
        return -1;
    }
    return stream;
}

VideoHeader readVideoHeader(const std::string& path) {
    VideoHeader header;
    FormatPtr format;
    FaultCode failure = FaultCode::Unreadable;
    const int index = openVideoStreams(format, path, failure);
    if (index < 0) {
        header.failure = failure;
        return header;
    }
    const AVStream& stream = *format->streams[index];
    const AVCodecParameters& parameters = *stream.codecpar;
    const auto valid = [](AVRational r) { return r.num > 0 && r.den > 0; };
    if (avcodec_find_decoder(parameters.codec_id) == nullptr ||
        !(valid(stream.avg_frame_rate) || valid(stream.r_frame_rate))) {
        header.failure = FaultCode::Unreadable;
        return header;
    }
    header.orientation = streamOrientation(stream);
    const bool sideways = header.orientation.sideways();
    header.width = sideways ? parameters.height : parameters.width;
    header.height = sideways ? parameters.width : parameters.height;
    if (format->duration_estimation_method == AVFMT_DURATION_FROM_STREAM) {
        const double whole = format->duration != AV_NOPTS_VALUE && format->duration > 0
                                 ? static_cast<double>(format->duration) / AV_TIME_BASE
                                 : 0.0;
        header.picturesEnd =
            stream.duration != AV_NOPTS_VALUE && stream.duration > 0 && valid(stream.time_base)
                ? static_cast<double>(stream.duration) * av_q2d(stream.time_base)
                : whole;
        header.length = std::max(header.picturesEnd, whole);
    }
    const AVCodec* soundCodec = nullptr;
    header.sound = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &soundCodec, 0) >= 0 &&
                   soundCodec != nullptr;
    return header;
}

}  // namespace vantrel
