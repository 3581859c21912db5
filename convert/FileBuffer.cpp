#include "convert/FileBuffer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vantrel {

namespace {
constexpr std::uint64_t kLargestFile = 0xFFFFFFFFu;

bool failWith(std::string* error, const std::string& reason) {
    if (error != nullptr) *error = reason;
    return false;
}
}  // namespace

bool FileBuffer::load(const std::string& path, std::string* error) {
    bytes_.clear();
    // O_NONBLOCK keeps a FIFO named like a picture from blocking the open;
    // regular files ignore it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return failWith(error, std::strerror(errno));

    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0;
    if (!ok) {
        failWith(error, std::strerror(errno));
    } else if (!S_ISREG(info.st_mode)) {
        ok = failWith(error, "not a regular file");
    } else if (static_cast<std::uint64_t>(info.st_size) > kLargestFile) {
        ok = failWith(error, "file of 4 GiB or more");
    } else {
        bytes_.resize(static_cast<std::size_t>(info.st_size));
        std::size_t done = 0;
        while (ok && done < bytes_.size()) {
            const ssize_t n = ::read(fd, bytes_.data() + done, bytes_.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                ok = failWith(error, std::strerror(errno));
            } else if (n == 0) {
                bytes_.resize(done);  // the file shrank while being read
                break;
            } else {
                done += static_cast<std::size_t>(n);
            }
        }
    }
    ::close(fd);
    if (!ok) bytes_.clear();
    return ok;
}

}  // namespace vantrel
