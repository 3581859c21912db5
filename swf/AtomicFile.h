#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

namespace vantrel {

// Writes a file through a temporary file in the target's folder that is
// renamed into place on commit, so a failed or interrupted write never
// leaves a truncated file nor destroys an earlier good one. Without a
// commit the temporary file is removed.
class AtomicFile {
public:
    explicit AtomicFile(std::filesystem::path target);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file. On failure `error` says why, in the form
    // "cannot write PATH: REASON".
    bool open(std::string& error);
    // Open for reading too, so what was written can be read back.
    std::FILE* stream() { return file_; }
    // Flushes, closes and renames into place.
    bool commit(std::string& error);

private:
    void discard();
    std::string failure(int errnum) const;

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    std::FILE* file_ = nullptr;
};

}  // namespace vantrel
