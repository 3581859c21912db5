#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantrel {

// Bytes of an MP3 payload: `length` from `offset`.
struct Mp3Span {
    std::uint32_t offset = 0;
    std::uint32_t length = 0;

    bool operator==(const Mp3Span&) const = default;
};

// The whole MP3 frames one movie frame's SoundStreamBlock carries.
struct Mp3Block {
    std::vector<Mp3Span> spans;  // in payload order; frames that follow each other share one
    std::uint32_t sampleCount = 0;
    // The movie frame's first sample less the block's first MP3 frame's
    // first sample, both counted from the sound's start: 0 or below, a delay
    // before the block's sound starts, but for the payload's lead-in, which
    // the first block's skips.
    std::int32_t seekSamples = 0;
};

// An MP3 payload cut into one block per movie frame.
struct Mp3StreamSplit {
    std::int32_t sampleRate = 0;   // of the frames, Hz; 0 when the payload holds none
    std::vector<Mp3Block> blocks;  // one for each movie frame; empty past the sound's end
    // The sample rate over the movie's frame rate, rounded: what the
    // stream's head states as the samples of a frame.
    std::uint32_t samplesPerFrame = 0;
    std::uint32_t largestBlock = 0;  // samples of the fullest block
    std::uint64_t soundSamples = 0;  // samples of every sound frame of the payload
    std::uint64_t leftOut = 0;       // of those, the samples of frames starting after the movie

    // Whether each block's count, and the head's, fits the 16 bits a
    // stream states it in.
    bool fits() const { return largestBlock <= 0xFFFF && samplesPerFrame <= 0xFFFF; }
};

// Splits the MP3 frames of a payload (size bytes at data) among frameCount
// movie frames shown at rate256 / 256 frames per second. Movie frame i
// starts at sample floor(i x sampleRate x 256 / rate256) of the sound, which
// starts `lead` samples into the payload; each MP3 frame goes whole into the
// block of the movie frame during which it starts (the first movie frame's
// for those that start before the sound), so a player that starts any block
// at its frame's time keeps pace. The first block's SeekSamples is `lead`.
// Frames that start once the movie has ended are left out, and so are info
// frames and bytes that are no frame (walkMpegFrames).
Mp3StreamSplit splitMp3Frames(const std::uint8_t* data, std::size_t size, std::int32_t rate256,
                              std::int32_t frameCount, std::uint32_t lead = 0);

}  // namespace vantrel
