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
    // Why there is no sound: NoSound when the file has no audio stream,
    // another code when it cannot be opened, decoded or encoded. Its step is
    // the caller's to set.
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
    std::uint32_t sampleCount = 0;        // samples of the frames at sampleRate
};

// Decodes the best audio stream of the file at `path` with FFmpeg, read by
// one of `demuxers` (FFmpeg's names, comma separated, from the format table),
// resamples it to the nearest MP3 rate and encodes it with LAME at about
// 128 kbit/s (64 kbit/s for one channel; more than two are mixed down to
// two). The sound starts `start` seconds in (its decoded samples counted
// from the first; those before are left out before resampling); a sound
// that ends before then gives the code NoSound. With `seconds` above 0 the
// sound is cut, or filled up with silence, to that length; otherwise it
// keeps its own. The frames last at most that length and less than one
// frame less (at least one frame): the encoder's own delay at the start is
// made up for by leaving its last frames out.
EncodedMp3 encodeMp3(const std::string& path, std::string_view demuxers, double seconds = 0.0,
                     double start = 0.0);

}  // namespace vantrel
