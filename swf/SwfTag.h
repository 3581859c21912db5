#pragma once

#include <cstdint>

#include "swf/SwfStream.h"

namespace vantrel {

// SWF tag codes this system writes.
enum class TagCode : std::uint16_t {
    End = 0,
    ShowFrame = 1,
    DefineShape = 2,
    DoAction = 12,
    DefineSound = 14,
    StartSound = 15,
    SoundStreamBlock = 19,
    DefineBitsLossless = 20,
    DefineBitsJpeg2 = 21,
    PlaceObject2 = 26,
    DefineBitsJpeg3 = 35,
    DefineBitsLossless2 = 36,
    SoundStreamHead2 = 45,
};

// One tag record of a movie. A tag writes its body into a fresh stream and
// frames it into `out` with writeTagHeader (see writeTagRecord).
class SwfTag {
public:
    virtual ~SwfTag() = default;
    virtual void write(SwfStream& out) const = 0;
    // Only ShowFrame closes a frame; the movie counts frames by this.
    virtual bool countsAsFrame() const { return false; }
    // Only PlaceObject2 puts a character on the display list.
    virtual bool placesCharacter() const { return false; }
};

// A tag that defines a character in the movie's dictionary. Its id is drawn
// from the movie's counter (SwfMovie::nextCharacterId) when it is built.
class SwfCharacterTag : public SwfTag {
public:
    explicit SwfCharacterTag(std::uint16_t characterId) : characterId_(characterId) {}
    std::uint16_t characterId() const { return characterId_; }

private:
    std::uint16_t characterId_;
};

// Frames `body` as a tag record of the given code into `out`; the body's
// references move into `out`.
void writeTagRecord(SwfStream& out, TagCode code, SwfStream& body);

}  // namespace vantrel
