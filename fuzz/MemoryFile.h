#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantrel::fuzz {

// The fuzz input as a file the readers can open by name: an anonymous
// memory file, reached through /proc, gone when closed.
class MemoryFile {
  public:
    MemoryFile(const std::uint8_t* data, std::size_t size)
        : fd_(memfd_create("fuzz-input", MFD_CLOEXEC)) {
        if (fd_ < 0) return;
        std::size_t done = 0;
        while (done < size) {
            const ssize_t wrote = ::write(fd_, data + done, size - done);
            if (wrote <= 0) break;
            done += static_cast<std::size_t>(wrote);
        }
        complete_ = done == size;
    }
    ~MemoryFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    // False when the memory file could not be made; the input is then skipped.
    bool ready() const { return fd_ >= 0 && complete_; }
    std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

  private:
    int fd_;
    bool complete_ = false;
};

}  // namespace vantrel::fuzz
