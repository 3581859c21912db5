#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Fault.h"

namespace vantrel {

// The whole content of one file in memory: the one way files are read
// whole, for pictures and for sounds alike.
class FileBuffer {
  public:
    // Reads the whole file (through InputFile). False when it cannot be
    // opened or read, is not a regular file, is too large, or got shorter
    // while it was read; `why` then says so, at `step`, and the buffer is
    // empty.
    bool load(const std::string& path, Fault* why = nullptr, FaultStep step = FaultStep::ReadFile);

    const std::uint8_t* data() const { return bytes_.empty() ? nullptr : bytes_.data(); }
    std::uint32_t size() const { return static_cast<std::uint32_t>(bytes_.size()); }
    // Hands the bytes over, leaving the buffer empty.
    std::vector<std::uint8_t> take() { return std::move(bytes_); }

  private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace vantrel
