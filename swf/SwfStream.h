#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

namespace vantrel {

// A growable byte buffer with a bit cursor that writes the SWF primitive
// types. Large payloads are kept as references to memory the stream never
// copies or owns; they are spliced in when the stream is written to a file.
class SwfStream {
public:
    struct Reference {
        std::uint32_t position;  // emitted just before committed byte `position`
        const std::uint8_t* data;
        std::uint32_t length;
    };

    SwfStream();
    SwfStream(const SwfStream&) = delete;
    SwfStream& operator=(const SwfStream&) = delete;

    // Writes the low n (0..32) bits of value, most significant first.
    void writeBits(std::uint32_t value, unsigned n);
    // Commits a partly filled byte; its remaining low bits are 0.
    void align();

    void writeU8(std::uint32_t v);
    void writeU16(std::uint32_t v);
    void writeU32(std::uint32_t v);
    void writeString(std::string_view text, bool terminate);

    void addReference(const std::uint8_t* data, std::uint32_t length);

    // Committed bytes plus all referenced payloads.
    std::uint64_t totalLength() const;

    // Moves the source's content (bytes and references) to the end of this
    // stream; the source keeps its bytes but loses its references.
    void appendStream(SwfStream& source);

    // The SWF record header: short form below 63 bytes, long form from 63.
    void writeTagHeader(std::uint16_t code, std::uint32_t length, SwfStream* body = nullptr);

    // Writes the committed bytes with the payloads spliced in and consumes
    // the references. False when the file refused a write.
    bool writeToFile(std::FILE* file);

    std::uint8_t* bytes() { return bytes_.data(); }
    const std::uint8_t* bytes() const { return bytes_.data(); }
    std::uint32_t count() const { return static_cast<std::uint32_t>(bytes_.size()); }
    const std::vector<Reference>& references() const { return references_; }

private:
    void commitPending();

    std::vector<std::uint8_t> bytes_;
    unsigned bitsFree_ = 8;
    std::uint8_t pending_ = 0;
    std::vector<Reference> references_;
};

// Width of a bit field for v: `extra` plus the significant bits of v.
std::uint16_t bitsNeeded(std::uint32_t v, std::uint16_t extra);

// The largest of the four absolute values.
std::int32_t maxAbs(std::int32_t a, std::int32_t b, std::int32_t c = 0, std::int32_t d = 0);

}  // namespace vantrel
