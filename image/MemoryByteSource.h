#pragma once

#include <cstdint>

namespace vantrel {

// A read cursor over a block of memory it does not own. Every operation is
// bounds-checked: the cursor stays within 0..size and nothing is read past
// the end of the block, so readers can walk untrusted files through it.
class MemoryByteSource {
  public:
    MemoryByteSource(const std::uint8_t* data, std::uint32_t size)
        : base_(data), size_(data != nullptr ? size : 0) {}

    bool isClosed() const { return size_ == 0; }

    // Copies up to count bytes to destination and advances past them; returns
    // how many were copied (fewer than count only at the end of the block).
    std::uint64_t read(void* destination, std::uint64_t count);

    std::uint64_t size() const { return size_; }

    // Each seek returns false, leaving the cursor where it was, when the
    // target lies outside 0..size.
    bool seekCurrent(std::int64_t offset);
    bool seekBegin(std::uint64_t offset);
    bool seekEnd(std::int64_t offset);

    std::int64_t position() const { return cursor_; }
    std::uint64_t remaining() const { return size_ - cursor_; }

    // The next count bytes in place, advancing past them; nullptr, with the
    // cursor unchanged, when fewer than count bytes remain.
    const std::uint8_t* take(std::uint64_t count);

  private:
    const std::uint8_t* base_;
    std::uint32_t size_;
    std::uint32_t cursor_ = 0;
};

// Little-endian fields of file headers.
inline std::uint16_t loadU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline std::uint32_t loadU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace vantrel
