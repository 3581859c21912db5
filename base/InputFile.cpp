#include "base/InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/Formats.h"

namespace vantrel {

InputFile::~InputFile() { close(); }

void InputFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool InputFile::open(const std::string& path) {
    close();
    size_ = 0;
    error_ = 0;
    // O_NONBLOCK keeps a FIFO from blocking the open; regular files ignore it.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) {
        error_ = errno;
        return false;
    }
    struct stat info {};
    if (::fstat(fd_, &info) != 0) {
        error_ = errno;
    } else if (S_ISDIR(info.st_mode)) {
        error_ = EISDIR;
    } else if (!S_ISREG(info.st_mode)) {
        error_ = EINVAL;
    } else if (static_cast<std::uint64_t>(info.st_size) > kMaxInputFileBytes) {
        error_ = EFBIG;
    } else {
        size_ = static_cast<std::uint64_t>(info.st_size);
        return true;
    }
    close();
    return false;
}

std::uint64_t InputFile::read(void* buffer, std::uint64_t count) {
    if (fd_ < 0) return 0;
    auto* out = static_cast<unsigned char*>(buffer);
    std::uint64_t done = 0;
    while (done < count) {
        const ssize_t got = ::read(fd_, out + done, count - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) error_ = errno;
        if (got <= 0) break;
        done += static_cast<std::uint64_t>(got);
    }
    return done;
}

}  // namespace vantrel
