#include "swf/ShapeTags.h"

#include <cassert>
#include <cstdlib>

namespace vantrel {

void ShowFrameTag::write(SwfStream& out) const {
    out.writeTagHeader(static_cast<std::uint16_t>(TagCode::ShowFrame), 0);
}

PlaceObject2Tag::PlaceObject2Tag(bool hasCharacter, bool move, std::uint16_t depth,
                                 std::uint16_t placedId, std::optional<SwfMatrix> matrix)
    : hasCharacter_(hasCharacter),
      move_(move),
      depth_(depth),
      placedId_(placedId),
      matrix_(std::move(matrix)) {}

void PlaceObject2Tag::write(SwfStream& out) const {
    SwfStream body;
    // Flags: clip actions, clip depth, name, ratio, colour transform, matrix,
    // character, move.
    body.writeBits(0, 5);
    body.writeBits(matrix_.has_value(), 1);
    body.writeBits(hasCharacter_, 1);
    body.writeBits(move_, 1);
    body.writeU16(depth_);
    if (hasCharacter_) body.writeU16(placedId_);
    if (matrix_) matrix_->write(body);
    writeTagRecord(out, TagCode::PlaceObject2, body);
}

BitmapFillStyle::BitmapFillStyle(bool repeat, std::uint16_t bitmapId, SwfMatrix matrix)
    : repeat_(repeat), bitmapId_(bitmapId), matrix_(std::move(matrix)) {}

void BitmapFillStyle::write(SwfStream& out) const {
    out.writeU8(repeat_ ? 0x40 : 0x41);
    out.writeU16(bitmapId_);
    matrix_.write(out);
}

namespace {
void writeStyleCount(SwfStream& out, std::uint32_t count) {
    if (count < 255) {
        out.writeU8(count);
    } else {
        out.writeU8(0xFF);
        out.writeU16(count);
    }
}
}  // namespace

std::uint32_t FillStyleArray::add(std::unique_ptr<FillStyle> style) {
    styles_.push_back(std::move(style));
    return count();
}

void FillStyleArray::write(SwfStream& out) const {
    writeStyleCount(out, count());
    for (const auto& style : styles_) style->write(out);
}

void LineStyleArray::write(SwfStream& out) const { writeStyleCount(out, 0); }

StyleChangeRecord::StyleChangeRecord(const Fields& fields)
    : f_(fields), moveBits_(bitsNeeded(maxAbs(fields.moveDeltaX, fields.moveDeltaY), 1)) {}

void StyleChangeRecord::write(SwfStream& out) const {
    out.writeBits(0, 1);  // not an edge
    out.writeBits(0, 1);  // StateNewStyles
    out.writeBits(f_.stateLineStyle, 1);
    out.writeBits(f_.stateFillStyle1, 1);
    out.writeBits(f_.stateFillStyle0, 1);
    out.writeBits(f_.stateMoveTo, 1);
    if (f_.stateMoveTo) {
        out.writeBits(moveBits_, 5);
        out.writeBits(f_.moveDeltaX, moveBits_);
        out.writeBits(f_.moveDeltaY, moveBits_);
    }
    if (f_.stateFillStyle0) out.writeBits(f_.fillStyle0, numFillBits_);
    if (f_.stateFillStyle1) out.writeBits(f_.fillStyle1, numFillBits_);
    if (f_.stateLineStyle) out.writeBits(f_.lineStyle, numLineBits_);
}

StraightEdgeRecord::StraightEdgeRecord(std::int32_t deltaX, std::int32_t deltaY)
    : deltaX_(deltaX),
      deltaY_(deltaY),
      // NumBits is stored as numBits - 2, so even a zero-length edge takes 2.
      numBits_(std::max<unsigned>(2, bitsNeeded(maxAbs(deltaX, deltaY), 1))) {
    assert(numBits_ <= 17 && "edge delta too long for one record");
}

void StraightEdgeRecord::write(SwfStream& out) const {
    out.writeBits(1, 1);  // edge
    out.writeBits(1, 1);  // straight
    out.writeBits(numBits_ - 2, 4);
    const bool general = deltaX_ != 0 && deltaY_ != 0;
    out.writeBits(general, 1);
    if (general) {
        out.writeBits(deltaX_, numBits_);
        out.writeBits(deltaY_, numBits_);
    } else if (deltaX_ == 0) {
        out.writeBits(1, 1);  // vertical
        out.writeBits(deltaY_, numBits_);
    } else {
        out.writeBits(0, 1);
        out.writeBits(deltaX_, numBits_);
    }
}

void EndShapeRecord::write(SwfStream& out) const {
    out.writeBits(0, 6);
    out.align();
}

ShapeWithStyle::ShapeWithStyle(FillStyleArray fillStyles, LineStyleArray lineStyles)
    : fillStyles_(std::move(fillStyles)),
      lineStyles_(lineStyles),
      numFillBits_(bitsNeeded(fillStyles_.count(), 0)),
      numLineBits_(bitsNeeded(lineStyles_.count(), 0)) {}

void ShapeWithStyle::add(std::unique_ptr<ShapeRecord> record) {
    record->setNumFillBits(numFillBits_);
    record->setNumLineBits(numLineBits_);
    records_.push_back(std::move(record));
}

void ShapeWithStyle::write(SwfStream& out) const {
    fillStyles_.write(out);
    lineStyles_.write(out);
    out.writeBits(numFillBits_, 4);
    out.writeBits(numLineBits_, 4);
    for (const auto& record : records_) record->write(out);
    out.align();
}

DefineShapeTag::DefineShapeTag(std::uint16_t characterId, SwfRect bounds)
    : SwfCharacterTag(characterId), bounds_(bounds) {}

std::uint32_t DefineShapeTag::addFillStyle(std::unique_ptr<FillStyle> style) {
    assert(!shape_ && "fill styles must be added before closeStyles");
    return fillStyles_.add(std::move(style));
}

void DefineShapeTag::closeStyles() {
    assert(!shape_);
    shape_.emplace(std::move(fillStyles_), LineStyleArray{});
}

void DefineShapeTag::addShapeRecord(std::unique_ptr<ShapeRecord> record) {
    assert(shape_ && "records can only be added after closeStyles");
    shape_->add(std::move(record));
}

void DefineShapeTag::addStraightEdges(std::int32_t dx, std::int32_t dy) {
    assert((dx == 0 || dy == 0) && "only axis-aligned edges are split");
    const std::uint32_t k = edgePieces(static_cast<std::uint32_t>(maxAbs(dx, dy)));
    for (std::uint32_t i = 0; i < k; ++i) {
        addShapeRecord(std::make_unique<StraightEdgeRecord>(dx / static_cast<std::int32_t>(k),
                                                            dy / static_cast<std::int32_t>(k)));
    }
}

void DefineShapeTag::write(SwfStream& out) const {
    assert(shape_ && "a shape is written only after closeStyles");
    SwfStream body;
    body.writeU16(characterId());
    bounds_.write(body);
    shape_->write(body);
    writeTagRecord(out, TagCode::DefineShape, body);
}

std::uint32_t edgePieces(std::uint32_t delta) {
    std::uint32_t k = (delta + kMaxEdgeDelta - 1) / kMaxEdgeDelta;
    if (k == 0) return 1;
    while (delta % k != 0) ++k;
    return k;
}

std::unique_ptr<DefineShapeTag> makePictureShape(std::uint16_t shapeId, std::uint16_t bitmapId,
                                                 std::int32_t width, std::int32_t height) {
    const std::int32_t w = width * 20;
    const std::int32_t h = height * 20;
    auto shape = std::make_unique<DefineShapeTag>(shapeId, SwfRect(0, 0, w, h));
    constexpr std::int32_t kTwentyFixed = 0x140000;  // 20.0: one pixel is 20 twips
    const std::uint32_t fill = shape->addFillStyle(std::make_unique<BitmapFillStyle>(
        false, bitmapId, SwfMatrix(true, kTwentyFixed, kTwentyFixed, false, 0, 0, 0, 0)));
    shape->closeStyles();

    // Move to the bottom-right corner, then trace left, up, right and down
    // with the fill on the inside.
    StyleChangeRecord::Fields start;
    start.stateFillStyle1 = true;
    start.stateMoveTo = true;
    start.moveDeltaX = w;
    start.moveDeltaY = h;
    start.fillStyle1 = fill;
    shape->addShapeRecord(std::make_unique<StyleChangeRecord>(start));
    shape->addStraightEdges(-w, 0);
    shape->addStraightEdges(0, -h);
    shape->addStraightEdges(w, 0);
    shape->addStraightEdges(0, h);
    shape->addShapeRecord(std::make_unique<EndShapeRecord>());
    return shape;
}

}  // namespace vantrel
