#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "swf/SwfRecords.h"
#include "swf/SwfTag.h"

namespace vantrel {

// ShowFrame: closes the current frame.
class ShowFrameTag : public SwfTag {
public:
    void write(SwfStream& out) const override;
    bool countsAsFrame() const override { return true; }
};

// PlaceObject2 with a character and an optional matrix; the system never
// places with a ratio, name, clip depth or colour transform.
class PlaceObject2Tag : public SwfTag {
public:
    PlaceObject2Tag(bool hasCharacter, bool move, std::uint16_t depth, std::uint16_t placedId,
                    std::optional<SwfMatrix> matrix);
    void write(SwfStream& out) const override;
    bool placesCharacter() const override { return hasCharacter_; }

private:
    bool hasCharacter_;
    bool move_;
    std::uint16_t depth_;
    std::uint16_t placedId_;
    std::optional<SwfMatrix> matrix_;
};

class FillStyle {
public:
    virtual ~FillStyle() = default;
    virtual void write(SwfStream& out) const = 0;
};

// Bitmap fill: 0x40 repeating, 0x41 clipped.
class BitmapFillStyle : public FillStyle {
public:
    BitmapFillStyle(bool repeat, std::uint16_t bitmapId, SwfMatrix matrix);
    void write(SwfStream& out) const override;

private:
    bool repeat_;
    std::uint16_t bitmapId_;
    SwfMatrix matrix_;
};

class FillStyleArray {
public:
    // Returns the new count: the style's 1-based index.
    std::uint32_t add(std::unique_ptr<FillStyle> style);
    std::uint32_t count() const { return static_cast<std::uint32_t>(styles_.size()); }
    void write(SwfStream& out) const;

private:
    std::vector<std::unique_ptr<FillStyle>> styles_;
};

// No line style is ever drawn: the array is always empty.
class LineStyleArray {
public:
    std::uint32_t count() const { return 0; }
    void write(SwfStream& out) const;
};

class ShapeRecord {
public:
    virtual ~ShapeRecord() = default;
    virtual void write(SwfStream& out) const = 0;
    virtual void setNumFillBits(unsigned) {}
    virtual void setNumLineBits(unsigned) {}
};

// A non-edge record: move-to and style selection. New style arrays are never
// produced, so StateNewStyles is always 0.
class StyleChangeRecord : public ShapeRecord {
public:
    struct Fields {
        bool stateLineStyle = false;
        bool stateFillStyle1 = false;
        bool stateFillStyle0 = false;
        bool stateMoveTo = false;
        std::int32_t moveDeltaX = 0;
        std::int32_t moveDeltaY = 0;
        std::uint32_t fillStyle0 = 0;
        std::uint32_t fillStyle1 = 0;
        std::uint32_t lineStyle = 0;
    };

    explicit StyleChangeRecord(const Fields& fields);
    void write(SwfStream& out) const override;
    void setNumFillBits(unsigned n) override { numFillBits_ = n; }
    void setNumLineBits(unsigned n) override { numLineBits_ = n; }

private:
    Fields f_;
    unsigned moveBits_;
    unsigned numFillBits_ = 0;
    unsigned numLineBits_ = 0;
};

// A straight edge by (dx, dy) twips: vertical, horizontal or general.
// Each delta must be below 65536 in magnitude (see addStraightEdges).
class StraightEdgeRecord : public ShapeRecord {
public:
    StraightEdgeRecord(std::int32_t deltaX, std::int32_t deltaY);
    void write(SwfStream& out) const override;

private:
    std::int32_t deltaX_;
    std::int32_t deltaY_;
    unsigned numBits_;
};

class EndShapeRecord : public ShapeRecord {
public:
    void write(SwfStream& out) const override;
};

// SHAPEWITHSTYLE: the closed style arrays and the records as one bit stream.
class ShapeWithStyle {
public:
    ShapeWithStyle(FillStyleArray fillStyles, LineStyleArray lineStyles);
    void add(std::unique_ptr<ShapeRecord> record);
    void write(SwfStream& out) const;

private:
    FillStyleArray fillStyles_;
    LineStyleArray lineStyles_;
    unsigned numFillBits_;
    unsigned numLineBits_;
    std::vector<std::unique_ptr<ShapeRecord>> records_;
};

// DefineShape, built in three phases: add fill styles, close the styles,
// add records.
class DefineShapeTag : public SwfCharacterTag {
public:
    DefineShapeTag(std::uint16_t characterId, SwfRect bounds);

    std::uint32_t addFillStyle(std::unique_ptr<FillStyle> style);
    void closeStyles();
    void addShapeRecord(std::unique_ptr<ShapeRecord> record);
    // Adds the axis-aligned edge (dx, dy), split into equal pieces when it
    // is too long for one edge record.
    void addStraightEdges(std::int32_t dx, std::int32_t dy);

    void write(SwfStream& out) const override;

private:
    SwfRect bounds_;
    FillStyleArray fillStyles_;
    std::optional<ShapeWithStyle> shape_;
};

// The largest edge delta one StraightEdgeRecord can hold.
constexpr std::int32_t kMaxEdgeDelta = 65535;

// The number of equal pieces an edge of length `delta` is cut into: the
// smallest k that divides it exactly with pieces of at most kMaxEdgeDelta.
std::uint32_t edgePieces(std::uint32_t delta);

// The rectangle of a w x h pixel picture filled with bitmap `bitmapId`, one
// bitmap pixel per 20 twips.
std::unique_ptr<DefineShapeTag> makePictureShape(std::uint16_t shapeId, std::uint16_t bitmapId,
                                                 std::int32_t width, std::int32_t height);

}  // namespace vantrel
