#include "swf/SwfStream.h"

#include <algorithm>
#include <bit>
#include <cstdlib>

namespace vantrel {

namespace {
constexpr std::size_t kInitialReserve = 1024;
}

SwfStream::SwfStream() { bytes_.reserve(kInitialReserve); }

void SwfStream::commitPending() {
    bytes_.push_back(pending_);
    pending_ = 0;
    bitsFree_ = 8;
}

void SwfStream::writeBits(std::uint32_t value, unsigned n) {
    while (n > 0) {
        if (n <= bitsFree_) {
            const std::uint32_t mask = (n == 32) ? 0xFFFFFFFFu : ((1u << n) - 1);
            pending_ |= static_cast<std::uint8_t>((value & mask) << (bitsFree_ - n));
            bitsFree_ -= n;
            if (bitsFree_ == 0) commitPending();
            return;
        }
        // The top bitsFree_ of the n bits fill the rest of the pending byte.
        const unsigned take = bitsFree_;
        const std::uint32_t top = (value >> (n - take)) & ((1u << take) - 1);
        pending_ |= static_cast<std::uint8_t>(top);
        commitPending();
        n -= take;
    }
}

void SwfStream::align() {
    if (bitsFree_ != 8) commitPending();
}

void SwfStream::writeU8(std::uint32_t v) { writeBits(v & 0xFF, 8); }

void SwfStream::writeU16(std::uint32_t v) {
    writeU8(v);
    writeU8(v >> 8);
}

void SwfStream::writeU32(std::uint32_t v) {
    writeU8(v);
    writeU8(v >> 8);
    writeU8(v >> 16);
    writeU8(v >> 24);
}

void SwfStream::writeString(std::string_view text, bool terminate) {
    for (char c : text) writeU8(static_cast<unsigned char>(c));
    if (terminate) writeU8(0);
}

void SwfStream::addReference(const std::uint8_t* data, std::uint32_t length) {
    references_.push_back({count(), data, length});
}

std::uint64_t SwfStream::totalLength() const {
    std::uint64_t total = bytes_.size();
    for (const Reference& r : references_) total += r.length;
    return total;
}

void SwfStream::appendStream(SwfStream& source) {
    std::uint32_t copied = 0;
    for (const Reference& r : source.references_) {
        bytes_.insert(bytes_.end(), source.bytes_.begin() + copied,
                      source.bytes_.begin() + r.position);
        copied = r.position;
        references_.push_back({count(), r.data, r.length});
    }
    source.references_.clear();
    bytes_.insert(bytes_.end(), source.bytes_.begin() + copied, source.bytes_.end());
}

void SwfStream::writeTagHeader(std::uint16_t code, std::uint32_t length, SwfStream* body) {
    const std::uint32_t shortLength = length < 63 ? length : 63;
    writeU16(static_cast<std::uint32_t>(code) << 6 | shortLength);
    if (length >= 63) writeU32(length);
    if (body != nullptr) appendStream(*body);
}

bool SwfStream::writeToFile(std::FILE* file) {
    bool ok = true;
    auto put = [&](const std::uint8_t* data, std::size_t size) {
        if (size > 0 && std::fwrite(data, 1, size, file) != size) ok = false;
    };
    std::uint32_t written = 0;
    for (const Reference& r : references_) {
        put(bytes_.data() + written, r.position - written);
        put(r.data, r.length);
        written = r.position;
    }
    references_.clear();
    put(bytes_.data() + written, bytes_.size() - written);
    return ok;
}

std::uint16_t bitsNeeded(std::uint32_t v, std::uint16_t extra) {
    return static_cast<std::uint16_t>(extra + std::bit_width(v));
}

std::int32_t maxAbs(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) {
    // Magnitudes as unsigned so that INT32_MIN does not overflow.
    auto mag = [](std::int32_t v) {
        return v < 0 ? 0u - static_cast<std::uint32_t>(v) : static_cast<std::uint32_t>(v);
    };
    const std::uint32_t m = std::max({mag(a), mag(b), mag(c), mag(d)});
    return static_cast<std::int32_t>(m);
}

}  // namespace vantrel
