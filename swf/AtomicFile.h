#pragma once

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/Fault.h"

namespace vantrel {

// Writes a file through a temporary file in the target's folder that is
// renamed into place on commit, so a failed or interrupted write never
// leaves a truncated file nor destroys an earlier good one. Where the system
// allows, the temporary file has no name until the commit, so not even a
// killed process leaves it behind. Without a commit nothing is left.
//
// The target is treated as a plain write would treat it: an existing file
// this user may not write is refused, and a replaced file keeps its
// permission bits; a new file gets 0666 narrowed by the umask.
class AtomicFile {
public:
    explicit AtomicFile(std::filesystem::path target);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file. On failure `why` says why (step WriteFile,
    // the target's path).
    bool open(Fault& why);
    // Open for reading too, so what was written can be read back.
    std::FILE* stream() { return file_; }
    // Flushes, closes and moves into place.
    bool commit(Fault& why);

private:
    int finish();
    void discard();
    std::filesystem::path folder() const;
    Fault failure(int errnum) const;

    std::filesystem::path target_;
    std::filesystem::path temporary_;  // empty while the file has no name
    std::FILE* file_ = nullptr;
    int unnamed_ = -1;  // keeps an unnamed file alive between closing and linking
};

// How long a temporary file of ours may go unchanged before it counts as
// left behind: a write in progress changes its file far more often.
inline constexpr std::chrono::hours kStaleTemporaryAge{1};

// Removes the temporary files that AtomicFile left in `folder` when its
// process was killed between naming one and renaming it: only regular files
// of exactly its names (.vantrel-XXXXXXXX.tmp, eight lower-case hex
// digits), owned by this user and unchanged for longer than `age`. Returns
// the paths removed; what cannot be listed or removed is left alone.
std::vector<std::filesystem::path> removeStaleTemporaries(
    const std::filesystem::path& folder, std::chrono::seconds age = kStaleTemporaryAge);

// Whether `target` may be replaced: 0 when it does not exist or this user may
// write it, otherwise the errno a plain open for writing would fail with.
// Only a regular file or a link is ever replaced: EISDIR for a folder,
// EEXIST for a device, a FIFO or a socket.
int replaceRefusal(const std::filesystem::path& target);

}  // namespace vantrel
