#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Fault.h"
#include "swf/AtomicFile.h"
#include "swf/SwfTag.h"

namespace vantrel {

// What became of a movie's or page's file.
struct WriteResult {
    bool written = false;
    Fault fault;  // why not, when !written
};

// The tags of one movie, in file order, and the file writer: an uncompressed
// SWF 4 file with its header, the tag records and the End tag. The movie
// keeps its tags until write(), or, once streamTo() was called, sends each
// straight into the file as it is added.
class SwfMovie {
  public:
    SwfMovie();
    ~SwfMovie();
    SwfMovie(const SwfMovie&) = delete;
    SwfMovie& operator=(const SwfMovie&) = delete;

    // Sends every tag added from now on into a temporary file beside `path`
    // and lets it go, so memory does not grow with the movie's length; the
    // payloads a tag refers to may be released once addTag returns. Room is
    // kept for the header of a frame of width x height twips; write() fills
    // it in, and moves the tags if the final frame size needs a header of
    // another length. False, with the reason, when no file can be made.
    bool streamTo(const std::filesystem::path& path, std::int32_t width, std::int32_t height,
                  Fault& why);

    // Why a streamed file can no longer be completed (a full disk, a movie
    // past 4 GiB), once that is so; nothing until then.
    const std::optional<Fault>& streamFault() const { return streamFault_; }

    // Takes the tag; ShowFrame tags add to the frame count.
    void addTag(std::unique_ptr<SwfTag> tag);

    // Ids for the movie's character tags: 1, 2, 3, ... in the order drawn.
    std::uint16_t nextCharacterId();

    std::int32_t frameCount() const { return frameCount_; }
    // Tags added so far that put a character on the display list.
    std::int32_t placementCount() const { return placementCount_; }
    const std::vector<std::unique_ptr<SwfTag>>& tags() const { return tags_; }
    // The bytes the tags kept so far take as records in the file.
    std::uint64_t tagBytes() const;

    // Writes the file atomically (when streaming, completes it; `path` must
    // be the one streamed to). Width and height are twips, rate the frame
    // rate times 256. Values the header cannot hold (a rate outside 1..65535,
    // more than 65535 frames or characters, a file of 4 GiB or more) are
    // refused with a reason rather than cut, and then no file is left.
    // A file longer than lengthLimit bytes is refused too, with code
    // OverTargetSize and step FitSize, VALUES[0] its length, VALUES[1] the
    // limit and VALUES[2] `quality`, the JPEG quality its pictures were
    // stored at. Restarts the character ids.
    WriteResult write(const std::filesystem::path& path, std::int32_t width, std::int32_t height,
                      std::int32_t rate, std::uint64_t lengthLimit = UINT64_MAX,
                      std::int32_t quality = 0);

  private:
    // Makes the temporary file with the header's room at its start.
    bool openFile(const std::filesystem::path& path, std::int32_t width, std::int32_t height,
                  Fault& why);
    void writeTag(const SwfTag& tag);
    void writeRecords(SwfStream& records);
    WriteResult finish(const std::filesystem::path& path, const SwfStream& header);

    std::int32_t frameCount_ = 0;
    std::int32_t placementCount_ = 0;
    std::uint32_t charactersDrawn_ = 0;
    std::vector<std::unique_ptr<SwfTag>> tags_;

    // While streaming: the temporary file, the header room at its start, the
    // bytes written so far (the room included), and the first failure.
    std::unique_ptr<AtomicFile> file_;
    std::filesystem::path filePath_;
    std::uint32_t reservedHeader_ = 0;
    std::uint64_t written_ = 0;
    std::optional<Fault> streamFault_;
};

// The frame rate as the movie header stores it: frames per second x 256,
// truncated; 0, which write() refuses, for rates the header cannot hold.
std::int32_t headerRate(float frameRate);

// The warning that the header stores frameRate more than 0.5 % off (its
// 1/256 steps are coarse for slow rates: 0.01 is stored as 0.0078): code
// RateChanged, VALUES[0] the rate asked, VALUES[1] the rate stored. Nothing
// for rates stored closer, or not at all.
std::optional<Fault> storedRateWarning(float frameRate);

// A length in pixels as twips (20 to the pixel), held at the largest 32-bit
// value: the header's fields refuse sizes that large.
inline std::int32_t pixelsToTwips(std::int32_t pixels) {
    return static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{pixels} * 20, INT32_MAX));
}

// The SWF file header's FrameSize RECT, rate and frame count, as written by
// SwfMovie::write. Frame sizes below 16384 twips use 15-bit fields, so the
// header is 21 bytes; larger ones widen the fields to fit.
void writeMovieHeader(SwfStream& out, std::uint32_t fileLength, std::int32_t width,
                      std::int32_t height, std::uint16_t rate, std::uint16_t frameCount);

}  // namespace vantrel
