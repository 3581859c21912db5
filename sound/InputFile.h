#pragma once

#include <cstdint>
#include <string>

namespace vantrel {

// A read-only file. Files of 4 GiB or more, folders and other non-regular
// files are refused like unreadable ones. Closed when destroyed.
class InputFile {
  public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // False when the file cannot be opened or is refused; error() then holds
    // the errno value.
    bool open(const std::string& path);
    int error() const { return error_; }

    bool isClosed() const { return fd_ < 0; }
    // Reads up to count bytes at the current position; returns how many were
    // read (fewer only at the end of the file or on a read error).
    std::uint64_t read(void* buffer, std::uint64_t count);
    std::uint64_t size() const { return size_; }
    bool seekCurrent(std::int64_t offset);
    bool seekBegin(std::uint64_t offset);
    bool seekEnd(std::int64_t offset);
    std::uint64_t position() const { return position_; }

  private:
    bool seek(std::int64_t offset, int whence);
    void close();

    int fd_ = -1;
    int error_ = 0;
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0;
};

}  // namespace vantrel
