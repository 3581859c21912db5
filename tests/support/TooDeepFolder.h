#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

namespace vantrel::test {

// Folders under `parent`, made through handles, nested until a path is
// longer than PATH_MAX: the last is listed in its parent but cannot be
// listed itself, even by root. `rm -rf` removes them, walking by handles.
class TooDeepFolder {
  public:
    explicit TooDeepFolder(const std::string& parent) : top_(parent + "/deep"), path_(top_) {
        ::mkdir(top_.c_str(), 0755);
        const std::string name(200, 'd');
        for (int fd = ::open(top_.c_str(), O_RDONLY | O_DIRECTORY), next; fd >= 0; fd = next) {
            next = path_.size() < PATH_MAX && ::mkdirat(fd, name.c_str(), 0755) == 0
                       ? ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY)
                       : -1;
            if (next >= 0) path_ += "/" + name;
            ::close(fd);
        }
    }
    ~TooDeepFolder() { std::system(("rm -rf '" + top_ + "'").c_str()); }

    const std::string& path() const { return path_; }  // the folder that cannot be listed

  private:
    std::string top_;
    std::string path_;
};

}  // namespace vantrel::test
