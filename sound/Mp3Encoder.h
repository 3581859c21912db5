#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/Fault.h"

#include "swf/SourceBuffers.h"

namespace vantrel {

// The MP3 rate a DefineSound can state (11,025, 22,050 or 44,100 Hz) that is
// nearest to `hz` by ratio: 48 and 32 kHz give 44,100, 24 and 16 kHz 22,050,
// 12 and 8 kHz 11,025. A tie goes to the higher rate.
std::int32_t nearestMp3Rate(std::int32_t hz);

// A sound encoded as MP3, or why there is none.
struct EncodedMp3 {
    // Why there is no sound, at the step encodeMp3 was given: NoSound when
    // the file has no audio stream, another code when it cannot be opened,
    // decoded or encoded.
    std::optional<Fault> fault;
    // With a fault: FFmpeg found no sound in the file that it can decode (it
    // cannot open the file, there is no audio stream, or none of it decodes),
    // rather than failing on sound it decodes.
    bool undecodable = false;
    // What the sound is, as users know it: "MPEG audio Layer II", "AAC",
    // "FLAC", "PCM signed 16-bit little-endian in a WAV file", "AAC in an MP4
    // file" (FFmpeg's codec name, and the container's unless it is a bare
    // stream of the codec).
    std::string sourceKind;
    bool sourceMp3 = false;  // a bare stream of MPEG audio Layer III frames: an MP3 file
    std::unique_ptr<SourceBuffer> bytes;  // whole MP3 frames and nothing else; none on failure
    std::int32_t sourceRate = 0;          // the sound's own rate, Hz
    std::int32_t sampleRate = 0;          // the frames' rate, nearestMp3Rate(sourceRate)
    bool mono = false;                    // the sound has one channel
    // The samples of silence the frames start with before the sound (the
    // MP3 seek samples), and the samples of the sound after them, at
    // sampleRate.
    std::uint16_t seekSamples = 0;
    std::uint32_t sampleCount = 0;
};

// The silence a movie's encoded sound starts with, in samples: a decoder
// that starts at a frame gives the sound back exactly only from about this
// far in (one 576-sample granule, whose overlap with the frame before it
// lacks, and a little more).
inline constexpr std::uint16_t kLeadInSamples = 640;

// Decodes the best audio stream of the file at `path` with FFmpeg, read by
// one of `demuxers` (FFmpeg's names, comma separated, from the format table),
// resamples it to the nearest MP3 rate and encodes it with LAME at about
// 128 kbit/s (64 kbit/s for one channel; more than two are mixed down to
// two). The sound starts `start` seconds in (its decoded samples counted
// from the first; those before are left out before resampling); a sound
// that ends before then gives the code NoSound. With `seconds` above 0 the
// sound is cut, or filled up with silence, to that length; otherwise it
// keeps its own. The encoder's delay (LAME's is 1105 samples) goes with the
// whole frames that hold nothing else (layer3FramesFrom), so that the frames
// start with kLeadInSamples of silence, their seekSamples. After these they
// last at most the sound's length and less than one frame less (but at
// least one frame past the silence).
EncodedMp3 encodeMp3(const std::string& path, std::string_view demuxers, FaultStep step,
                     double seconds = 0.0, double start = 0.0);

}  // namespace vantrel
