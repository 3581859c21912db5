#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace vantrel::fuzz {

// A folder of its own for the movies a target writes, removed when the
// process ends.
class MovieFolder {
  public:
    MovieFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vantrel-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
    }
    ~MovieFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    MovieFolder(const MovieFolder&) = delete;
    MovieFolder& operator=(const MovieFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace vantrel::fuzz
