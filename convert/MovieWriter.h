#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "convert/BatchPlan.h"
#include "convert/ConvertObserver.h"
#include "convert/ConvertSettings.h"
#include "convert/JobOutcome.h"
#include "convert/OrderedPipeline.h"
#include "sound/SoundTrack.h"
#include "swf/FrameComposer.h"
#include "swf/SourceBuffers.h"
#include "swf/SwfMovie.h"

namespace vantrel {

// A job's sound, loaded before its frames, and where it came from.
struct JobSound {
    LoadedSound loaded;
    SoundOrigin origin = SoundOrigin::None;
    std::string companion;
};

// Loads the sound the plan chose for the job, from where the plan's sound
// starts (and a companion file up to where it ends). A video's own sound is
// made to last `seconds`, the movie's length.
JobSound loadSound(const PlannedJob& job, double seconds);

// A copy of a loaded sound, its bytes and all, for a movie that may have to
// be made again.
JobSound copySound(const JobSound& sound);

// The bytes the sound's tags take in a movie of frameTotal frames made at
// the settings, streamed or not as MovieWriter stores it; 0 for no sound.
std::uint64_t storedSoundBytes(const JobSound& sound, const ConvertSettings& settings,
                               std::int32_t frameTotal);

// The output end of one job, and the only owner of its movie file and of
// the bytes its tags refer to: frames arrive in order and go straight into
// the file, their payloads released as soon as they are written. It fills
// the job's outcome as the job goes.
class MovieWriter {
  public:
    // With `pictureBytes`, the bytes of each frame's picture as stored go
    // there, 0 for a frame without one of its own.
    MovieWriter(const PlannedJob& job, const ConvertSettings& settings, ConvertObserver* observer,
                std::int32_t frameTotal, JobOutcome& outcome,
                std::vector<std::uint64_t>* pictureBytes = nullptr);
    MovieWriter(const MovieWriter&) = delete;
    MovieWriter& operator=(const MovieWriter&) = delete;

    // The job ended early: its file could not be made or written, or the
    // user stopped.
    bool ended() const { return ended_; }

    // Adds one frame: the picture's tags if there is one, the job's sound if
    // given (in the first frame), the frame's stream block when the sound
    // streams, a Stop action in the last frame when the movie plays once,
    // then ShowFrame. False once the job cannot go on.
    bool add(std::optional<EncodedFrame>& frame, JobSound* sound);

    // Writes the movie's header at the stage size and, if asked, its page;
    // fills the outcome either way, a written movie's warnings with those
    // of the players that will play it badly (playerWarnings). A movie in
    // which no frame got a picture is not written, so that it cannot replace
    // a good one of the same name, and the job fails; so is one over the
    // settings' target size (its fault gives its length, the target and the
    // quality, as QualityChooser wants).
    void finish(std::int32_t width, std::int32_t height);

    // Runs the job's frames through runOrderedPipeline on `threads` threads,
    // about two frames in flight for each so memory stays flat; `consume`
    // calls add(). A pipeline that fails (no memory for a frame) ends the
    // job.
    template <typename Item, typename Produce, typename Transform, typename Consume>
    void runFrames(unsigned threads, Produce produce, Transform transform, Consume consume) {
        try {
            runOrderedPipeline<Item>(threads, std::size_t{2} * threads, produce, transform,
                                     consume);
        } catch (const std::bad_alloc&) {
            end(JobOutcome::Status::Failed, {FaultCode::OutOfMemory, FaultStep::MakeMovie});
        } catch (const std::exception& error) {
            end(JobOutcome::Status::Failed,
                {FaultCode::OutOfMemory, FaultStep::MakeMovie, {}, error.what()});
        }
    }

  private:
    bool end(JobOutcome::Status status, Fault fault);
    void addSound(JobSound& sound);

    const PlannedJob& job_;
    const ConvertSettings& settings_;
    ConvertObserver* observer_;
    std::int32_t frameTotal_;
    JobOutcome& outcome_;
    std::vector<std::uint64_t>* pictureBytes_;
    SwfMovie movie_;
    SourceBuffers sourceBuffers_;
    std::unique_ptr<StreamedSound> streamed_;
    std::int32_t frameCount_ = 0;
    bool anyPicture_ = false;
    bool ended_ = false;
};

}  // namespace vantrel
