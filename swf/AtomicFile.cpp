#include "swf/AtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace vantrel {

AtomicFile::AtomicFile(std::filesystem::path target) : target_(std::move(target)) {}

AtomicFile::~AtomicFile() { discard(); }

std::string AtomicFile::failure(int errnum) const {
    return "cannot write " + target_.string() + ": " + std::strerror(errnum);
}

bool AtomicFile::open(std::string& error) {
    discard();
    std::random_device random;
    const std::filesystem::path folder = target_.parent_path();
    // O_EXCL with a fresh random name of fixed, short length, so that any
    // valid target name also has a valid temporary name; the mode 0666 is
    // narrowed by the umask as for any newly created file.
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, ".vantrel-%08x.tmp", static_cast<unsigned>(random()));
        std::filesystem::path candidate = folder / name;
        const int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            error = failure(errno);
            return false;
        }
        file_ = ::fdopen(fd, "w+b");
        if (file_ == nullptr) {
            const int saved = errno;
            ::close(fd);
            ::unlink(candidate.c_str());
            error = failure(saved);
            return false;
        }
        temporary_ = std::move(candidate);
        return true;
    }
    error = failure(EEXIST);
    return false;
}

bool AtomicFile::commit(std::string& error) {
    if (file_ == nullptr) {
        error = failure(EBADF);
        return false;
    }
    errno = 0;
    const bool written = std::fflush(file_) == 0 && !std::ferror(file_);
    const int writeErrno = errno != 0 ? errno : EIO;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!written || !closed) {
        error = failure(!written ? writeErrno : (errno != 0 ? errno : EIO));
        discard();
        return false;
    }
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        error = failure(errno);
        discard();
        return false;
    }
    temporary_.clear();
    return true;
}

void AtomicFile::discard() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

}  // namespace vantrel
