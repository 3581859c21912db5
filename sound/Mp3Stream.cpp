#include "sound/Mp3Stream.h"

#include <algorithm>

#include "sound/Mp3Source.h"

namespace vantrel {

Mp3StreamSplit splitMp3Frames(const std::uint8_t* data, std::size_t size, std::int32_t rate256,
                              std::int32_t frameCount, std::uint32_t lead) {
    Mp3StreamSplit split;
    if (rate256 <= 0 || frameCount <= 0) return split;
    split.blocks.resize(static_cast<std::size_t>(frameCount));
    // Exact in 64 bits: rates below 2^17 Hz, frames below 2^31.
    std::uint64_t perMovieFrame = 0;  // samples x rate256
    auto frameStart = [&](std::uint64_t i) { return i * perMovieFrame / std::uint64_t(rate256); };

    // Where the next MP3 frame starts, counted from the sound's start.
    std::int64_t sample = -std::int64_t(lead);
    std::size_t block = 0;
    walkMpegFrames(data, size, [&](std::size_t at, const MpegFrame& frame) {
        if (frame.info) return;
        if (split.sampleRate == 0) {
            split.sampleRate = frame.sampleRate;
            perMovieFrame = std::uint64_t(frame.sampleRate) * 256;
        }
        split.soundSamples += frame.samples;
        while (block < split.blocks.size() && std::int64_t(frameStart(block + 1)) <= sample) {
            ++block;
        }
        if (block == split.blocks.size()) {
            split.leftOut += frame.samples;
        } else {
            Mp3Block& into = split.blocks[block];
            const auto offset = static_cast<std::uint32_t>(at);
            if (into.spans.empty()) {
                into.seekSamples =
                    static_cast<std::int32_t>(std::int64_t(frameStart(block)) - sample);
            }
            if (!into.spans.empty() &&
                into.spans.back().offset + into.spans.back().length == offset) {
                into.spans.back().length += frame.length;
            } else {
                into.spans.push_back({offset, frame.length});
            }
            into.sampleCount += frame.samples;
            split.largestBlock = std::max(split.largestBlock, into.sampleCount);
        }
        sample += frame.samples;
    });
    if (split.sampleRate != 0) {
        split.samplesPerFrame =
            static_cast<std::uint32_t>((perMovieFrame + std::uint64_t(rate256) / 2) / rate256);
    }
    return split;
}

}  // namespace vantrel
