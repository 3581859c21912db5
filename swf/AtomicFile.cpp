#include "swf/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string_view>

namespace vantrel {

namespace {

// Narrowed by the umask, as for any newly created file.
constexpr mode_t kNewFileMode = 0666;

std::string descriptorPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// The temporary names: the prefix, eight lower-case hex digits, the suffix.
constexpr std::string_view kTemporaryPrefix = ".vantrel-";
constexpr std::string_view kTemporarySuffix = ".tmp";
constexpr std::size_t kTemporaryDigits = 8;

bool isTemporaryName(std::string_view name) {
    if (name.size() != kTemporaryPrefix.size() + kTemporaryDigits + kTemporarySuffix.size() ||
        !name.starts_with(kTemporaryPrefix) || !name.ends_with(kTemporarySuffix)) {
        return false;
    }
    const std::string_view digits = name.substr(kTemporaryPrefix.size(), kTemporaryDigits);
    return std::all_of(digits.begin(), digits.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// Calls `make` with fresh random hidden names in `folder` until one is not
// taken; returns 0 and the name used, or the errno that stopped it. The names
// have a fixed, short length, so that any valid target name also has a valid
// temporary name.
template <typename Make>
int withFreshName(const std::filesystem::path& folder, Make make, std::filesystem::path& made) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "%s%08x%s", kTemporaryPrefix.data(),
                      static_cast<unsigned>(random()), kTemporarySuffix.data());
        std::filesystem::path candidate = folder / name;
        if (make(candidate)) {
            made = std::move(candidate);
            return 0;
        }
        if (errno != EEXIST) return errno;
    }
    return EEXIST;
}

// A file in `folder` without a name, which vanishes with the process unless
// it is linked in; -1 with errno EOPNOTSUPP where the system, the file system
// or a missing /proc (needed to link it) rules that out.
int openUnnamed(const std::filesystem::path& folder) {
#ifdef O_TMPFILE
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, kNewFileMode);
    if (fd < 0) {
        // Kernels that predate it see a folder opened for writing.
        if (errno == EISDIR || errno == EINVAL) errno = EOPNOTSUPP;
        return -1;
    }
    if (::access(descriptorPath(fd).c_str(), F_OK) == 0) return fd;
    ::close(fd);
#else
    (void)folder;
#endif
    errno = EOPNOTSUPP;
    return -1;
}

}  // namespace

std::vector<std::filesystem::path> removeStaleTemporaries(const std::filesystem::path& folder,
                                                          std::chrono::seconds age) {
    std::vector<std::filesystem::path> removed;
    const auto before =
        std::chrono::system_clock::to_time_t(std::chrono::system_clock::now() - age);
    std::error_code ec;
    for (std::filesystem::directory_iterator entry(folder, ec), end; !ec && entry != end;
         entry.increment(ec)) {
        const std::filesystem::path& path = entry->path();
        struct stat file;
        if (!isTemporaryName(path.filename().native()) || ::lstat(path.c_str(), &file) != 0 ||
            !S_ISREG(file.st_mode) || file.st_uid != ::geteuid() || file.st_mtime >= before) {
            continue;
        }
        if (::unlink(path.c_str()) == 0) removed.push_back(path);
    }
    return removed;
}

int replaceRefusal(const std::filesystem::path& target) {
    struct stat found;
    if (::lstat(target.c_str(), &found) != 0) return errno == ENOENT ? 0 : errno;
    // A rename would put the file in the place of a folder, a device, a
    // FIFO or a socket, not into it.
    if (S_ISDIR(found.st_mode)) return EISDIR;
    if (!S_ISREG(found.st_mode) && !S_ISLNK(found.st_mode)) return EEXIST;
    return ::access(target.c_str(), W_OK) == 0 || errno == ENOENT ? 0 : errno;
}

AtomicFile::AtomicFile(std::filesystem::path target) : target_(std::move(target)) {}

AtomicFile::~AtomicFile() { discard(); }

Fault AtomicFile::failure(int errnum) const {
    return writeFault(FaultStep::WriteFile, target_.string(), errnum);
}

std::filesystem::path AtomicFile::folder() const {
    return target_.has_parent_path() ? target_.parent_path() : std::filesystem::path(".");
}

bool AtomicFile::open(Fault& why) {
    discard();
    if (const int refused = replaceRefusal(target_)) {
        why = failure(refused);
        return false;
    }
    int fd = openUnnamed(folder());
    int errnum = errno;
    if (fd < 0 && errnum == EOPNOTSUPP) {
        errnum = withFreshName(
            folder(),
            [&fd](const std::filesystem::path& name) {
                fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
                return fd >= 0;
            },
            temporary_);
    }
    if (fd < 0) {
        why = failure(errnum);
        return false;
    }
    file_ = ::fdopen(fd, "w+b");
    if (file_ == nullptr) {
        errnum = errno;
        ::close(fd);
        discard();
        why = failure(errnum);
        return false;
    }
    return true;
}

bool AtomicFile::commit(Fault& why) {
    const int errnum = file_ == nullptr ? EBADF : finish();
    if (errnum != 0) {
        why = failure(errnum);
        discard();
        return false;
    }
    return true;
}

// Returns 0 once the file is in place, or the errno that stopped it.
int AtomicFile::finish() {
    errno = 0;
    if (std::fflush(file_) != 0 || std::ferror(file_)) return errno != 0 ? errno : EIO;
    // Checked again: the target may have changed while the file was written.
    if (const int refused = replaceRefusal(target_)) return refused;
    struct stat existing;
    if (::stat(target_.c_str(), &existing) == 0 && S_ISREG(existing.st_mode) &&
        ::fchmod(::fileno(file_), existing.st_mode & 0777) != 0) {
        return errno;
    }
    // A descriptor of its own keeps an unnamed file until it is linked, so
    // that closing the stream can report late write errors first.
    if (temporary_.empty()) {
        unnamed_ = ::fcntl(::fileno(file_), F_DUPFD_CLOEXEC, 0);
        if (unnamed_ < 0) return errno;
    }
    errno = 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!closed) return errno != 0 ? errno : EIO;
    // A link cannot replace a file, so the unnamed file gets a hidden name
    // just long enough to be renamed over the target.
    if (unnamed_ >= 0) {
        const std::string source = descriptorPath(unnamed_);
        const int linked = withFreshName(
            folder(),
            [&source](const std::filesystem::path& name) {
                return ::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, name.c_str(),
                                AT_SYMLINK_FOLLOW) == 0;
            },
            temporary_);
        if (linked != 0) return linked;
    }
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) return errno;
    temporary_.clear();
    discard();
    return 0;
}

void AtomicFile::discard() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (unnamed_ >= 0) {
        ::close(unnamed_);
        unnamed_ = -1;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

}  // namespace vantrel
