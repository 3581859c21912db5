#pragma once

#include <list>
#include <string>
#include <vector>

namespace vantrel {

// One numbered picture sequence, converted into one movie. `numbers` holds
// the digit runs as spelled in the file names, in ascending order of their
// value, no two with the same value.
struct FolderJob {
    std::string prefix;     // path up to the digit run: /anim/walk
    std::string extension;  // as spelled by the file that created the job
    std::vector<std::string> numbers;
    // The extension of each number's own file, in the order of `numbers`, so
    // a sequence of mixed kinds (walk1.bmp, walk2.jpg) reads the files that
    // were found. Empty when every file has the job's extension.
    std::vector<std::string> extensions{};

    // The file of the k-th number.
    std::string picturePath(std::size_t k) const {
        return prefix + numbers[k] + "." + (k < extensions.size() ? extensions[k] : extension);
    }
};

// One video file, converted into one movie.
struct VideoJob {
    std::string path;
};

// Everything queued for the next Convert command.
struct JobList {
    std::list<FolderJob> folderJobs;
    std::vector<VideoJob> videoJobs;

    void clear() {
        folderJobs.clear();
        videoJobs.clear();
    }
    bool isEmpty() const { return folderJobs.empty() && videoJobs.empty(); }
};

}  // namespace vantrel
