#pragma once

#include <string>

#include "swf/SourceBuffers.h"
#include "swf/SwfMovie.h"

namespace vantrel {

// Gives the movie the companion MP3 file at mp3Path as one event sound,
// defined and started where the movie's tags currently end (in the first
// frame, before its ShowFrame). The file's bytes move onto sourceBuffers,
// which must outlive the movie's write: the sound tag refers to them.
//
// Returns true when the sound was added. Without it the movie is simply
// silent; then, if `problem` is given, it is left empty when there is no such
// file and otherwise says in plain words why the file gave no sound.
bool addSoundTrack(SwfMovie& movie, const std::string& mp3Path, SourceBuffers& sourceBuffers,
                   std::string* problem = nullptr);

}  // namespace vantrel
