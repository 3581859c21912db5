#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

namespace vantrel::test {

// A chain of folders under `parent` made through handles until a path is
// longer than the system takes (PATH_MAX): that last folder is listed in
// its parent but cannot be listed itself, even by root, for whom
// permissions restrict nothing. Removed with `rm -rf`, which walks by
// handles too.
class TooDeepFolder {
  public:
    explicit TooDeepFolder(const std::string& parent) : top_(parent + "/deep") {
        const std::string name(200, 'd');
        std::string path = parent;
        int fd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY);
        while (fd >= 0 && path.size() < PATH_MAX) {
            const std::string step = path == parent ? "deep" : name;
            ::mkdirat(fd, step.c_str(), 0755);
            const int next = ::openat(fd, step.c_str(), O_RDONLY | O_DIRECTORY);
            ::close(fd);
            fd = next;
            path += "/" + step;
        }
        if (fd >= 0) ::close(fd);
        path_ = path;
    }
    ~TooDeepFolder() { std::system(("rm -rf '" + top_ + "'").c_str()); }
    TooDeepFolder(const TooDeepFolder&) = delete;
    TooDeepFolder& operator=(const TooDeepFolder&) = delete;

    // The folder that cannot be listed.
    const std::string& path() const { return path_; }

  private:
    std::string top_;
    std::string path_;
};

}  // namespace vantrel::test
