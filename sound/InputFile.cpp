#include "sound/InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vantrel {

namespace {
// Sizes are 32-bit quantities throughout the sound code and the SWF format.
constexpr std::uint64_t kSizeLimit = 0x100000000ull;
}  // namespace

InputFile::~InputFile() { close(); }

void InputFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool InputFile::open(const std::string& path) {
    close();
    position_ = 0;
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
    } else if (static_cast<std::uint64_t>(info.st_size) >= kSizeLimit) {
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
    position_ += done;
    return done;
}

bool InputFile::seek(std::int64_t offset, int whence) {
    if (fd_ < 0) return false;
    const off_t to = ::lseek(fd_, offset, whence);
    if (to < 0) return false;
    position_ = static_cast<std::uint64_t>(to);
    return true;
}

bool InputFile::seekCurrent(std::int64_t offset) { return seek(offset, SEEK_CUR); }
bool InputFile::seekBegin(std::uint64_t offset) {
    return seek(static_cast<std::int64_t>(offset), SEEK_SET);
}
bool InputFile::seekEnd(std::int64_t offset) { return seek(offset, SEEK_END); }

}  // namespace vantrel
