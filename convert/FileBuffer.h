#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel {

// The whole content of one file in memory.
class FileBuffer {
public:
    // Reads the whole file. False when it cannot be opened or read, is not a
    // regular file, or is 4 GiB or larger; `error` then says why and the
    // buffer is empty.
    bool load(const std::string& path, std::string* error = nullptr);

    const std::uint8_t* data() const { return bytes_.empty() ? nullptr : bytes_.data(); }
    std::uint32_t size() const { return static_cast<std::uint32_t>(bytes_.size()); }

private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace vantrel
