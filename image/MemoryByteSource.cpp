#include "image/MemoryByteSource.h"

#include <cstring>

namespace vantrel {

std::uint64_t MemoryByteSource::read(void* destination, std::uint64_t count) {
    const std::uint64_t n = count < remaining() ? count : remaining();
    if (n > 0) std::memcpy(destination, base_ + cursor_, n);
    cursor_ += static_cast<std::uint32_t>(n);
    return n;
}

bool MemoryByteSource::seekCurrent(std::int64_t offset) {
    if (offset < -static_cast<std::int64_t>(size_) || offset > static_cast<std::int64_t>(size_))
        return false;
    const std::int64_t target = static_cast<std::int64_t>(cursor_) + offset;
    return target >= 0 && seekBegin(static_cast<std::uint64_t>(target));
}

bool MemoryByteSource::seekBegin(std::uint64_t offset) {
    if (offset > size_) return false;
    cursor_ = static_cast<std::uint32_t>(offset);
    return true;
}

bool MemoryByteSource::seekEnd(std::int64_t offset) {
    if (offset > 0 || offset < -static_cast<std::int64_t>(size_)) return false;
    return seekBegin(static_cast<std::uint64_t>(static_cast<std::int64_t>(size_) + offset));
}

const std::uint8_t* MemoryByteSource::take(std::uint64_t count) {
    if (count > remaining()) return nullptr;
    const std::uint8_t* p = base_ + cursor_;
    cursor_ += static_cast<std::uint32_t>(count);
    return p;
}

}  // namespace vantrel
