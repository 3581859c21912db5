#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/OptionKey.h"

namespace vantrel {

// What went wrong, in the few kinds a script can act on. Each has a stable
// name (faultCodeName) that the JSON report carries.
enum class FaultCode : std::uint8_t {
    NotFound,        // no such file or folder
    Unreadable,      // there, but it cannot be opened or read
    Damaged,         // its data is broken
    Unsupported,     // a kind of file or data that is not read
    TooLarge,        // past a limit: picture size, file size, movie size
    OutOfMemory,     // the memory for it could not be had
    TooShort,        // a video shorter than one movie frame
    TooManyFrames,   // more pictures or frames than one movie holds
    NoPictures,      // a sequence with nothing to read
    NoPictureRead,   // not one picture of the job could be read
    MovieExists,     // kept, as asked, rather than replaced
    DuplicateMovie,  // an earlier job of the batch writes the same movie
    WriteFailed,     // a file or folder cannot be written
    DiskFull,        // no space left for it
    Stopped,         // the user stopped the batch
    NotAFolder,      // a dropped item that is not a folder
    SoundReencoded,  // a sound was encoded again as MP3 at a rate movies can state
    SizeDiffers,     // a picture of another size than the stage
    NoSound,         // a file without an audio stream, where its sound was sought
    NoVideo,         // a file without a video stream, where its pictures were sought
    // a video whose data ends well before the length its file states
    PicturesEndEarly,
    SoundRunsOn,  // a video whose sound runs on well past its last picture
    ChunkDropped,    // a picture was read without a damaged chunk it can do without
    RateChanged,     // the movie stores another frame rate than the one asked
    TempRemoved,     // a temporary file an interrupted run left was removed
    StartPastEnd,    // the part asked for starts at or past the end of the pictures
    ManyFrames,      // more frames than Flash Player plays (16000)
    LargeStage,      // a stage side over 4096 pixels, which phones show black
    FastRate,        // a rate over 60 fps, which players play at different speeds
    LargeMovie,      // a movie over 50 MB, which browsers load whole before it plays
    SoundNotStreamed,  // a sound asked to stream that a frame's block cannot hold
    SoundCut,          // a streamed sound that runs on past the movie's end
    OverTargetSize,  // a movie that does not fit the target size at any quality tried
    SoundOverTarget,  // a movie whose sound alone takes more than the target size
};

// The step that failed: it chooses the words, and says which of the fault's
// fields they use (PATH, DETAIL, OTHER, FRAME, VALUES[i]). EXT is PATH's
// extension in lower case; PLACE is PATH, or "PATH frame FRAME" for a video
// frame.
enum class FaultStep : std::uint8_t {
    ReadFile,       // cannot read PATH: DETAIL
    WriteFile,      // cannot write PATH: DETAIL
    MakeFolder,     // cannot make the folder PATH: DETAIL
    DropItem,       // a dropped item: Select folder not file. / cannot be read / No such ...
    PassOver,       // a sub-folder that cannot be listed: cannot be read, passed over
    ReadPicture,    // PATH: cannot be read: DETAIL
    ChooseReader,   // PATH: no reader for .EXT files
    DecodePicture,  // PATH: cannot be decoded as a EXT picture (...)
    StorePicture,   // PLACE: DETAIL (the picture could not be made into a bitmap)
    DecodeFrame,    // PATH frame FRAME: cannot be decoded
    OpenVideo,      // video cannot be opened / frame too large / it has no video stream
    TimeVideo,      // shorter than one frame / longer than one movie can hold, at VALUES[0] fps
    CountPictures,  // no pictures / VALUES[0] pictures are more than one movie can hold
    MakeMovie,      // no picture could be read / not enough memory / stopped / DETAIL
    StartJob,       // movie exists: PATH / its movie PATH is already made from OTHER / not started
    LoadSound,      // no sound: cannot read (or use) PATH: DETAIL
    ReencodeSound,  // PATH (is DETAIL) at VALUES[0] Hz: re-encoded at VALUES[1] Hz, or why not
    VideoSound,     // no sound: cannot use the sound of PATH: DETAIL
    // PATH is VALUES[0] x [1] pixels (scaled to [4] x [5]), the stage [2] x [3]; or
    // VALUES[0] more
    PictureSize,
    VideoEnd,     // PATH: pictures end at VALUES[0] s, the file says / the sound runs on to [1] s
    DropChunk,    // PATH: a chunk with a bad checksum was left out; or VALUES[0] more
    StoreRate,    // the rate VALUES[0] is stored as VALUES[1]
    ClearFolder,  // removed PATH, a temporary file left by an interrupted run
    CutSource,    // the start VALUES[0] s is past the end of the pictures at VALUES[1] s
    PlayerLimit,  // VALUES[0] frames / W x H stage / VALUES[0] fps / VALUES[0] bytes, and
                  // what avoids it
    // PATH's sound not streamed: at VALUES[0] fps a frame holds VALUES[1] samples; or it
    // lasts VALUES[0] s, the movie [1] s
    StreamSound,
    // the movie takes VALUES[0] bytes (about, when VALUES[3] is 1) at quality
    // VALUES[2], more than the target size VALUES[1] bytes
    FitSize,
    // the sound (of OTHER, a companion; the video's own without) alone takes
    // VALUES[0] bytes, more than the target size VALUES[1] bytes
    FitSound,
};

// A failure or warning with what explains it. Faults are values: they are
// made where the cause is known, carried in outcomes, and put into words
// only by faultText.
struct Fault {
    Fault() = default;
    Fault(FaultCode code, FaultStep step, std::string path = {}, std::string detail = {})
        : code(code), step(step), path(std::move(path)), detail(std::move(detail)) {}

    FaultCode code = FaultCode::Unreadable;
    FaultStep step = FaultStep::ReadFile;
    std::string path;          // the file or folder it concerns
    std::string detail;        // why, in the words of the library or system that refused
    std::string other;         // a second path, where the step names one
    std::optional<std::int64_t> frame;  // the video frame it concerns
    std::array<double, 6> values{};     // the quantities the step's words name

    bool operator==(const Fault&) const = default;
};

// The stable name of a code: "not-found", "disk-full", ...
std::string_view faultCodeName(FaultCode code);

// How a front end names an option where a fault's words advise it:
// "--max-size" on the command line; empty where it has no such option, and
// then the advice leaves it out.
using OptionNames = std::string (*)(OptionKey);

// The fault in the words users read, options named as `names` gives them.
std::string faultText(const Fault& fault, OptionNames names);

// The code of a read that failed with errnum: not-found, out-of-memory,
// too-large or unreadable.
FaultCode readFaultCode(int errnum);
// The code of a write that failed with errnum: disk-full, out-of-memory,
// too-large or write-failed.
FaultCode writeFaultCode(int errnum);

// A fault of a read or write of `path` that failed with errnum, with the
// system's words for it.
Fault readFault(FaultStep step, const std::string& path, int errnum);
Fault writeFault(FaultStep step, const std::string& path, int errnum);

}  // namespace vantrel
