#pragma once

#include <list>
#include <string>
#include <vector>

namespace vantrel {

// One picture file of a sequence: its digit run and its extension, as
// spelled in its name. A sequence may mix kinds (walk1.bmp, walk2.jpg).
struct SequencePicture {
    std::string number;
    std::string extension;

    bool operator==(const SequencePicture&) const = default;
};

// One numbered picture sequence, converted into one movie. `pictures` are in
// ascending order of their numbers' values, no two with the same value.
struct FolderJob {
    std::string prefix;     // path up to the digit run: /anim/walk
    std::string extension;  // as spelled by the file that created the job
    std::vector<SequencePicture> pictures;
    // The dropped folder the sequence was found in, as given; empty when not
    // known. Movies written to another folder keep their place under it.
    std::string root{};

    // The file of the k-th picture.
    std::string picturePath(std::size_t k) const {
        return prefix + pictures[k].number + "." + pictures[k].extension;
    }
};

// One video file, converted into one movie.
struct VideoJob {
    std::string path;
    std::string root{};  // as for FolderJob; the file's folder when dropped itself
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
