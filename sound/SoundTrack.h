#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/Fault.h"
#include "sound/Mp3Stream.h"
#include "sound/SoundTags.h"
#include "swf/SourceBuffers.h"
#include "swf/SwfMovie.h"

namespace vantrel {

// An MP3 payload (length bytes from start) and what its DefineSound states.
struct Mp3Sound {
    std::unique_ptr<SourceBuffer> bytes;
    std::uint32_t start = 0;
    std::uint32_t length = 0;
    Mp3Rate rate = Mp3Rate::Hz44100;
    bool mono = false;
    // Samples of silence the payload starts with, which players skip (an
    // encoder's lead-in; 0 for files given as they are), and of the sound
    // after them.
    std::uint16_t seekSamples = 0;
    std::uint32_t sampleCount = 0;
};

// A movie's sound made ready before its first frame, or why there is none.
struct LoadedSound {
    Mp3Sound sound;  // no bytes: no sound
    // Without bytes, why a file that is there gave no sound; with them, what
    // was done to the sound on the way (code SoundReencoded).
    std::optional<Fault> warning;

    bool loaded() const { return sound.bytes != nullptr; }
};

// The companion MP3 file at mp3Path. MPEG audio Layer III at 11.025, 22.05
// or 44.1 kHz is taken as it is. Any other sound FFmpeg decodes (other rates
// and layers, MP3 behind other data, AAC or WAV named .mp3) is re-encoded at
// the nearest of these rates (encodeMp3), and the warning says so and what
// the file was; what FFmpeg cannot decode gives no sound. No warning is given
// when there is no such file. With `start` or `seconds` above 0 only that
// part is taken (from `start` seconds in, lasting `seconds` at most; 0: to
// its end), re-encoded; the warning then speaks only of what was not MP3
// at a rate movies state.
LoadedSound loadCompanionSound(const std::string& mp3Path, double start = 0.0,
                               double seconds = 0.0);

// The sound of the video at videoPath from `start` seconds in, encoded as
// MP3 lasting `seconds` (encodeMp3). No warning is given when the video has
// no sound, or none from `start` on.
LoadedSound loadVideoSound(const std::string& videoPath, double seconds, double start = 0.0);

// Gives the movie the sound as one event sound, defined and started where
// the movie's tags currently end (in the first frame, before its
// ShowFrame). Its bytes move onto sourceBuffers, which must outlive the
// movie's write: the sound tag refers to them.
void addSoundTrack(SwfMovie& movie, Mp3Sound sound, SourceBuffers& sourceBuffers);

// The sound's MP3 frames split among frameCount movie frames shown at
// rate256 / 256 frames per second (splitMp3Frames), its seek samples before
// the first movie frame.
Mp3StreamSplit splitSound(const Mp3Sound& sound, std::int32_t rate256, std::int32_t frameCount);

// A movie's sound as a streaming sound: a SoundStreamHead2 in the first
// frame, then in each frame the block of MP3 frames that starts in it, so
// that a player drops pictures rather than let the sound run ahead. It
// keeps the sound's bytes, which the blocks refer to, for the whole movie.
class StreamedSound {
  public:
    // The split must fit (Mp3StreamSplit::fits) and have a block for each
    // frame of the movie.
    StreamedSound(Mp3Sound sound, Mp3StreamSplit split);

    void addHead(SwfMovie& movie) const;
    // The block of movie frame `frame` (from 0); none for a frame in which
    // no MP3 frame starts.
    void addBlock(SwfMovie& movie, std::size_t frame) const;

  private:
    Mp3Sound sound_;
    Mp3StreamSplit split_;
};

}  // namespace vantrel
