#pragma once

#include <cstdint>
#include <string>

namespace vantrel {

// A regular file open for reading, closed when destroyed. Folders, devices,
// FIFOs and files past kMaxInputFileBytes are refused like unreadable ones.
class InputFile {
  public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // False when the file cannot be opened or is refused; error() then holds
    // the errno value (EISDIR, EINVAL for other non-regular files, EFBIG).
    bool open(const std::string& path);
    int error() const { return error_; }

    bool isClosed() const { return fd_ < 0; }
    std::uint64_t size() const { return size_; }
    // Reads up to count bytes; returns how many were read (fewer only at the
    // end of the file or on a read error, whose errno error() then holds).
    std::uint64_t read(void* buffer, std::uint64_t count);

  private:
    void close();

    int fd_ = -1;
    int error_ = 0;
    std::uint64_t size_ = 0;
};

}  // namespace vantrel
